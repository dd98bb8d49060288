// main() of the window program: the application object does the rest.
#include "MainApp.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

#if defined(__unix__) && !defined(__APPLE__)
namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

} // namespace
#endif

int main(int argc, char** argv) {
#if defined(__unix__) && !defined(__APPLE__)
    // Without a display Qt would abort with a page of advice; one line says what to do.
    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY") && !Set("QT_QPA_PLATFORM")) {
        std::fprintf(stderr,
                     "veldran: no display. Run it under a desktop, as 'xvfb-run %s', or use "
                     "veldran-cli.\n",
                     argc > 0 ? argv[0] : "veldran");
        return 1;
    }
#endif
    // An error the window could not handle was shown in it; one before it could open goes to
    // stderr. Never an abort.
    try {
        const int status = AfxWinMain(argc, argv);
        return theApp.Failed() ? 1 : status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veldran: %s\n", e.what());
        return 1;
    }
}

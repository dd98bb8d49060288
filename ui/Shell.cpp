#include "Shell.h"

namespace {

Shell* g_shell = nullptr;

} // namespace

Shell& AfxGetShell() {
    return g_shell ? *g_shell : AfxGetPlatformShell();
}

Shell* AfxSetShell(Shell* shell) {
    Shell* previous = g_shell;
    g_shell = shell;
    return previous;
}

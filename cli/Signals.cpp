#include "Signals.h"

#include <csignal>

namespace veldran::cli {

namespace {

std::atomic<bool> g_stop{false};
std::atomic<int> g_signal{0};

extern "C" void OnStopSignal(int signal) {
    g_signal.store(signal);
    g_stop.store(true);
}

} // namespace

void InstallSignalHandlers() {
#ifdef _WIN32
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
#else
    // With SA_RESTART: a write to stdout blocked by a slow reader when the signal comes would
    // otherwise fail, and the C library drop the line of a file already swapped in. A wait for
    // another veldran's lock sees the stop anyway: it tries the lock again and again.
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
    stop.sa_flags = SA_RESTART;
    sigemptyset(&stop.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &stop, nullptr);
    // A reader that went away and a file size limit are errors of one write, reported as such.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (const int signal : {SIGPIPE, SIGXFSZ})
        sigaction(signal, &ignore, nullptr);
#endif
}

const std::atomic<bool>& StopRequested() {
    return g_stop;
}

int StopSignal() {
    return g_signal.load();
}

} // namespace veldran::cli

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
    // Without SA_RESTART: a wait for another veldran's lock returns, so the stop is seen.
    struct sigaction stop {};
    stop.sa_handler = OnStopSignal;
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

#pragma once
// How veldran-cli ends when it is told to: SIGINT, SIGTERM and SIGHUP let the file in hand be
// finished or dropped cleanly; SIGPIPE and SIGXFSZ become the write errors they stand for.

#include <atomic>

namespace veldran::cli {

void InstallSignalHandlers();
// Set once a stop signal arrived; the file in hand sees it while it waits for a lock.
const std::atomic<bool>& StopRequested();
// The signal that asked to stop, or 0.
int StopSignal();

} // namespace veldran::cli

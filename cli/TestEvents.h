#pragma once
// A seam for tests that run veldran-cli as another process. When the environment variable
// VELDRAN_TEST_EVENTS_FD names a descriptor open for writing (3 or above), the program writes one
// line there at each moment a test may need to act on, so that the test blocks reading it instead
// of guessing with time: "waiting for a lock\n" when a file or an output file is found locked by
// another veldran, before the wait begins. The signal handlers are installed before any command
// runs, so a test that signals after the line sees the program end as a signal asks.

#include "SafeFile.h"

namespace veldran::cli {

inline constexpr const char* kTestEventsVariable = "VELDRAN_TEST_EVENTS_FD";
inline constexpr const char* kWaitingForLockEvent = "waiting for a lock\n";

// The write seam that tells the events, or nullptr when no test asked for them.
WriteFaults* TestEvents();

} // namespace veldran::cli

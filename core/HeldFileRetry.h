#pragma once
// Windows: a file that another program holds open for a moment. Virus scanners, indexers, backup
// tools and editors open a file just after it changed and let it go again; an open, rename or
// restore that meets such a hold is tried again for a short while before the file is reported
// busy, as other careful Windows programs do.
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

namespace veldran {

// How long a held file is waited for before it is reported busy: longer than a scanner or an
// editor's save holds a file, short enough that a file held for good costs a run little.
inline constexpr ULONGLONG kHeldFileWaitMs = 3000;
// The pause between two attempts.
inline constexpr DWORD kHeldFileRetryPauseMs = 50;

// A seam for tests: told when an attempt first meets a held file, so that a test may let go of
// the file at that moment, and again for every further attempt.
class HeldFileWatch {
public:
    virtual ~HeldFileWatch() = default;
    virtual void Held(int attempt) = 0;
};
inline std::atomic<HeldFileWatch*> g_heldFileWatch{nullptr};

// Whether the system's answer means that another program holds the file or a range of it.
inline bool HeldByAnother(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

// Runs `attempt` (true when it succeeded; on failure GetLastError() tells why) until it
// succeeds, fails for another reason, or the file stayed held for `waitMs`. The last error is
// the last attempt's.
template <typename Attempt>
bool RetryWhileHeld(Attempt attempt, ULONGLONG waitMs = kHeldFileWaitMs) {
    const ULONGLONG start = ::GetTickCount64();
    for (int tries = 1;; ++tries) {
        if (attempt())
            return true;
        const DWORD code = ::GetLastError();
        if (!HeldByAnother(code) || ::GetTickCount64() - start >= waitMs)
            return false;
        if (HeldFileWatch* watch = g_heldFileWatch.load())
            watch->Held(tries);
        ::Sleep(kHeldFileRetryPauseMs);
    }
}

} // namespace veldran

#endif

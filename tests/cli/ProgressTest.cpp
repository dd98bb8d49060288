// The progress line: only on a terminal, only for a long run, drawn in place and gone before
// the summary.
#include "CliRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace veldran::clitest;

namespace {

// The time after which the program draws its progress line.
constexpr std::chrono::milliseconds kLongRun{1000};

} // namespace

TEST(Progress, AShortRunOnATerminalShowsOnlyTheSummary) {
    if (!PseudoTerminalsAvailable())
        GTEST_SKIP() << "no pseudo-terminal on this machine";
    Workspace ws;
    const std::string a = ws.Scheme("a.sch", "AH36\n");
    TerminalRun terminal({"find", "-f", "AH36", a}, ws.Env());
    const CliRun run = terminal.Finish();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, a + "\n");
    EXPECT_EQ(run.err, "veldran-cli: 1 file, 1 matched, 0 failed\n");
}

TEST(Progress, ALongRunOnATerminalDrawsTheLineInPlace) {
    if (!PseudoTerminalsAvailable())
        GTEST_SKIP() << "no pseudo-terminal on this machine";
    Workspace ws;
    const std::string a = ws.Scheme("a.sch", "AH36\n");
    const std::string b = ws.Scheme("b.sch", "AH36\n");
    // Another veldran holds the second file: the run lasts as long as the test likes.
    const std::string slow = ws.Scheme("slow.sch", "AH36\n");
    auto held = std::make_unique<veldran::test::HeldLock>(slow);
    RunSettings settings = ws.Env();
    settings.events = true;
    TerminalRun terminal({"replace", "-f", "AH36", "-r", "AH36", "--no-log", a, slow, b}, settings);
    ASSERT_TRUE(terminal.Events().WaitFor(kLockWaitEvent));
    // A run is long once it has lasted a second. The program's clock started before it said it
    // waits: held for a second from then on, the run is long by the time the lock goes. This
    // wait is the run's length, the input of the test, not a guess at what the program does.
    std::this_thread::sleep_until(std::chrono::steady_clock::now() + kLongRun);
    held.reset();
    const CliRun run = terminal.Finish();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, a + "\n" + slow + "\n" + b + "\n");
    const std::string summary = "veldran-cli: 3 files, 3 changed, 3 replacements, 0 failed\n";
    ASSERT_GT(run.err.size(), summary.size());
    EXPECT_EQ(run.err.substr(run.err.size() - summary.size()), summary);
    // Before the summary: progress texts each drawn from the line's start, then blanked out. The
    // first file may already count as a long run's on a slow machine; the second always does.
    const std::string before = run.err.substr(0, run.err.size() - summary.size());
    EXPECT_EQ(before.rfind("\rveldran-cli: ", 0), 0u) << before;
    ASSERT_EQ(before.back(), '\r');
    std::vector<std::string> drawn;
    for (std::size_t at = 0; at + 1 < before.size();) {
        ASSERT_EQ(before[at], '\r') << before;
        const std::size_t next = before.find('\r', at + 1);
        std::string segment = before.substr(at + 1, next - at - 1);
        segment.erase(segment.find_last_not_of(' ') + 1);
        if (!segment.empty())
            drawn.push_back(segment);
        at = next;
    }
    const std::vector<std::string> inOrder = {"veldran-cli: 1/3 files", "veldran-cli: 2/3 files",
                                              "veldran-cli: 3/3 files"};
    EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end()) &&
                std::includes(inOrder.begin(), inOrder.end(), drawn.begin(), drawn.end()))
        << before;
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), inOrder[1]), drawn.end()) << before;
    // The last thing before the summary blanks out the whole progress text.
    const std::size_t blankStart = before.rfind('\r', before.size() - 2) + 1;
    const std::string blank = before.substr(blankStart, before.size() - 1 - blankStart);
    EXPECT_EQ(blank, std::string(std::string("veldran-cli: 2/3 files").size(), ' '));
}

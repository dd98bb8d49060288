// The progress line of a real run on a terminal: a short run shows only the summary. How a long
// run draws it is ReporterTest's, on a clock of the test's own.
#include "CliRunner.h"

#include <gtest/gtest.h>

using namespace veldran::clitest;

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

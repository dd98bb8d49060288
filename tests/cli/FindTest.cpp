// veldran-cli find: the read-only search of Find Only, with grep's exit status.
#include "CliRunner.h"

#include <gtest/gtest.h>

using namespace veldran::clitest;

TEST(FindCommand, ListsTheFilesThatContainTheTextAndChangesNone) {
    Workspace ws;
    const std::string a = ws.Scheme("a.sch", "PLATE,AH36\n" + std::string(100, 'w') + "\n");
    const std::string b = ws.Scheme("b.sch", "PLATE,ah36\n");
    const std::string c = ws.Scheme("c.sch", "x\nSTIFF AH36");
    const auto stamp = std::filesystem::last_write_time(a);

    CliRun run = RunCli({"find", "--find", "AH36", c, b, a}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, c + "\n" + a + "\n");
    EXPECT_EQ(run.err, "veldran-cli: 3 files, 2 matched, 0 failed\n");
    // Not even the long line is wrapped, and nothing is logged.
    EXPECT_EQ(ReadBytes(a), "PLATE,AH36\n" + std::string(100, 'w') + "\n");
    EXPECT_EQ(std::filesystem::last_write_time(a), stamp);
    EXPECT_FALSE(Exists(ws.LogFile()));

    run = RunCli({"find", "-f", "EH40", a, b}, ws.Env());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "veldran-cli: 2 files, 0 matched, 0 failed\n");
}

TEST(FindCommand, SearchesThePiecesTheWindowReads) {
    Workspace ws;
    // A line longer than 255 characters is searched in pieces of 255.
    const std::string across = ws.Scheme("across.sch", std::string(252, 'x') + "NEEDLE\n");
    const std::string inside = ws.Scheme("inside.sch", std::string(249, 'x') + "NEEDLE\n");
    CliRun run = RunCli({"find", "-f", "NEEDLE", across, inside}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, inside + "\n");

    // A CR LF line end reads as one newline, and the newline belongs to the searched text.
    const std::string crlf = ws.Scheme("crlf.sch", "ROW,B\r\nnext\r\n");
    run = RunCli({"find", "-f", "B\n", crlf}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, crlf + "\n");
    run = RunCli({"find", "-f", "B\r", crlf}, ws.Env());
    EXPECT_EQ(run.exitCode, 1);

    // An empty find text is found in every file that holds a character.
    const std::string empty = ws.Scheme("empty.sch", "");
    const std::string newline = ws.Scheme("newline.sch", "\n");
    run = RunCli({"find", "--find=", empty, newline, crlf}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, newline + "\n" + crlf + "\n");
    EXPECT_EQ(run.err, "veldran-cli: 3 files, 2 matched, 0 failed\n");
}

TEST(FindCommand, AFileThatCannotBeReadGivesStatusTwo) {
    Workspace ws;
    const std::string match = ws.Scheme("match.sch", "AH36\n");
    const std::string directory = ws.schemes;
    const std::string missing = ws.schemes + "/missing.sch";

    CliRun run = RunCli({"find", "-f", "AH36", directory, match, missing}, ws.Env());
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, match + "\n");
    EXPECT_EQ(run.err, "veldran-cli: " + directory + ": cannot read: Is a directory\n" +
                           "veldran-cli: " + missing + ": cannot open: " + NoSuchFile() + "\n" +
                           "veldran-cli: 3 files, 1 matched, 2 failed\n");

#ifndef _WIN32 // no device there that takes no data
    // A list that is lost is no success either.
    RunSettings full = ws.Env();
    full.stdoutPath = "/dev/full";
    run = RunCli({"find", "-f", "AH36", match}, full);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "veldran-cli: standard output: No space left on device\n"
                       "veldran-cli: 1 file, 1 matched, 0 failed\n");
#endif
}

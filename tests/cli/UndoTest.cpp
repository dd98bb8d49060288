// veldran-cli undo: every file of the last replace back byte for byte, a file changed since left
// alone, and nothing else written.
#include "CliRunner.h"
#ifndef _WIN32
#include "SmallDisk.h"
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace veldran::clitest;

namespace {

// Files of every awkward kind, each holding the find text somewhere.
std::vector<std::string> RandomSchemes(const Workspace& ws, unsigned seed) {
    std::mt19937 random(seed);
    const std::string words[] = {"AH36", "PLATE", ",", std::string("\0", 1), "X", "\r"};
    std::vector<std::string> paths;
    for (int f = 0; f < 40; ++f) {
        std::string text = "AH36";
        const bool crlf = random() % 2 == 0;
        for (int l = static_cast<int>(random() % 30); l > 0; --l) {
            for (int c = static_cast<int>(random() % (random() % 8 == 0 ? 120 : 20)); c > 0; --c)
                text += words[random() % std::size(words)];
            if (l > 1 || random() % 2 == 0)
                text += crlf ? "\r\n" : "\n";
        }
        paths.push_back(ws.Scheme("r" + std::to_string(f) + ".sch", text));
    }
    return paths;
}

std::vector<std::string> Contents(const std::vector<std::string>& paths) {
    std::vector<std::string> all;
    for (const std::string& path : paths)
        all.push_back(ReadBytes(path));
    return all;
}

} // namespace

TEST(Undo, GivesBackEveryFileOfTheLastReplaceByteForByte) {
    Workspace ws;
    const std::vector<std::string> files = RandomSchemes(ws, 7);
    const std::vector<std::string> before = Contents(files);
    std::vector<std::string> args{"replace", "-f", "AH36", "-r", "EH36,EH36,EH36"};
    args.insert(args.end(), files.begin(), files.end());
    ASSERT_EQ(RunCli(args, ws.Env()).exitCode, 0);
    ASSERT_NE(Contents(files), before);
    const std::string log = ReadBytes(ws.LogFile());

    const CliRun run = RunCli({"undo"}, ws.Env());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::string listed;
    for (const std::string& file : files)
        listed += file + "\n";
    EXPECT_EQ(run.out, listed);
    EXPECT_EQ(Contents(files), before);
    EXPECT_EQ(ReadBytes(ws.LogFile()), log) << "undo writes no change log";

    const CliRun again = RunCli({"undo"}, ws.Env());
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(again.err, "veldran-cli: nothing to undo\n");
}

TEST(Undo, AFileChangedSinceIsLeftAsItIsAndNamed) {
    Workspace ws;
    const std::string kept = ws.Scheme("kept.sch", "AH36\n");
    const std::string edited = ws.Scheme("edited.sch", "AH36\n");
    ASSERT_EQ(RunCli({"replace", "-f", "AH36", "-r", "EH36", kept, edited}, ws.Env()).exitCode, 0);
    WriteBytes(edited, "edited by hand\n");
    const CliRun run = RunCli({"undo"}, ws.Env());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, kept + "\n");
    EXPECT_EQ(run.err, "veldran-cli: " + edited +
                           ": changed since the replace; not restored\nveldran-cli: 1 restored, 1 "
                           "not restored\n");
    EXPECT_EQ(ReadBytes(kept), "AH36\n");
    EXPECT_EQ(ReadBytes(edited), "edited by hand\n");

    // A replace without a journal leaves nothing of an earlier one to undo.
    ASSERT_EQ(RunCli({"replace", "-f", "AH36", "-r", "EH36", "--no-undo", kept}, ws.Env()).exitCode,
              0);
    EXPECT_EQ(RunCli({"undo"}, ws.Env()).err, "veldran-cli: nothing to undo\n");
}

#ifndef _WIN32
TEST(Undo, AJournalOnAnotherFileSystemKeepsCopies) {
    Workspace ws;
    veldran::test::SmallDisk disk(ws.dir.File("other disk"), 1 << 20);
    if (!disk.Mounted())
        GTEST_SKIP() << "no second file system: mount failed (" << disk.Why() << ")";
    const std::string table = ws.dir.File("table.txt");
    WriteBytes(table, "SB_TEMP=" + disk.File("") + "\n");
    RunSettings settings;
    settings.envTable = table;
    const std::string file = ws.Scheme("a.sch", "AH36\r\nno newline");
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    ASSERT_EQ(RunCli({"replace", "-f", "AH36", "-r", "EH36", file}, settings).exitCode, 0);
    ASSERT_EQ(RunCli({"undo"}, settings).exitCode, 0);
    EXPECT_EQ(ReadBytes(file), "AH36\r\nno newline");
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::owner_write |
                                                               std::filesystem::perms::group_read);
}
#endif

// veldran-cli undo: every file of the last replace back byte for byte, a file changed since left
// alone, and nothing else written.
#include "CliRunner.h"
#include "UndoJournal.h"
#ifndef _WIN32
#include "SmallDisk.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#ifndef _WIN32
#include <unistd.h>
#endif
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
    std::vector<std::string> all(paths.size());
    std::transform(paths.begin(), paths.end(), all.begin(), ReadBytes);
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

#ifndef _WIN32
TEST(Undo, AJournalItCannotTrustOrReadWholeIsNamedAndNeverAborts) {
    struct Case {
        const char* what;
        std::function<void(const Workspace& ws, const std::string& folder)> spoil;
        bool asRoot;     // playing another user needs root
        std::string err; // after "veldran-cli: "
    };
    const auto folderOf = [](const Workspace& ws) {
        return veldran::UndoJournal::FolderIn(ws.log + "/");
    };
    const Case cases[] = {
        {"an index line with an escape that is none",
         [](const Workspace&, const std::string& folder) {
             std::ofstream(folder + "/1/index", std::ios::app)
                 << "2 1 1 1 1 0000000000000000\t%zz\t/nowhere\n";
         },
         false,
         "FOLDER/1/index: an entry of the undo journal cannot be read; its file is not "
         "restored\nveldran-cli: 1 restored, 1 not restored\n"},
        {"a journal folder another user owns",
         [](const Workspace&, const std::string& folder) {
             ASSERT_EQ(::chown(folder.c_str(), 12345, 12345), 0);
         },
         true, "cannot read the undo journal: FOLDER belongs to another user\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.asRoot && ::geteuid() != 0)
            continue;
        Workspace ws;
        const std::string a = ws.Scheme("a.sch", "AH36\n");
        ASSERT_EQ(RunCli({"replace", "-f", "AH36", "-r", "EH36", a}, ws.Env()).exitCode, 0);
        const std::string folder = folderOf(ws);
        c.spoil(ws, folder);
        const CliRun run = RunCli({"undo"}, ws.Env());
        std::string err = "veldran-cli: " + c.err;
        for (std::size_t at = err.find("FOLDER"); at != std::string::npos; at = err.find("FOLDER"))
            err.replace(at, 6, folder);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.err, err);
        if (c.err.find("restored") != std::string::npos) {
            EXPECT_EQ(run.out, a + "\n");
        }
    }
}

TEST(Undo, AJournalThatStoppedOnAFullDiskSaysSoAndFails) {
    Workspace ws;
    veldran::test::SmallDisk disk(ws.dir.File("small disk"), 1 << 20);
    if (!disk.Mounted())
        GTEST_SKIP() << "no small tmpfs to fill: mount failed (" << disk.Why()
                     << "); the core's tests stop a journal through a name in the way";
    const std::string table = ws.dir.File("table.txt");
    WriteBytes(table, "SB_TEMP=" + disk.File("") + "\n");
    RunSettings settings;
    settings.envTable = table;
    std::vector<std::string> args = {"replace", "--no-log", "-f", "AH36", "-r", "EH36"};
    const std::string text = "AH36," + std::string(8000, 'x') + "\n";
    for (int i = 0; i < 20; ++i)
        args.push_back(ws.Scheme("f" + std::to_string(i) + ".sch", text));
    disk.FillLeaving(24 << 10);
    ASSERT_EQ(RunCli(args, settings).exitCode, 1);
    disk.Unfill(); // room again for what undo writes
    const CliRun run = RunCli({"undo"}, settings);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("veldran-cli: the undo journal of that replace stopped early: the files "
                           "it changed after that stay changed\n"),
              std::string::npos)
        << run.err;
    EXPECT_TRUE(ReadBytes(args.back()) != text) << "the last file stays changed";
}
#endif

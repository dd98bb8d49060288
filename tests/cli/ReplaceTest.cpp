// veldran-cli replace, against bytes written out by hand from the rewrite rules.
#include "CliRunner.h"
#include "UndoJournal.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace veldran::clitest;

namespace {

std::string Summary(const std::string& counts) {
    return "veldran-cli: " + counts + "\n";
}

} // namespace

TEST(ReplaceCommand, RewritesListsAndRecordsChangedFiles) {
    Workspace ws;
    const std::string a =
        ws.Scheme("a.sch", "PLATE,P1,MAT=AH36\nSTIFF,S1\nPLATE,P2,MAT=AH36,THK=AH36\n");
    const std::string b = ws.Scheme("b.sch", "STIFF,S2\n");
    const std::string c = ws.Scheme("c.sch", "BEAM,AH36%d\n");

    const CliRun run = RunCli(
        {"replace", "--find", "AH36", "--replace", "EH40", "--batch-data", c, b, a}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    // Changed files in the order given.
    EXPECT_EQ(run.out, c + "\n" + a + "\n");
    // b.sch gets CR LF line ends on Windows: rewritten, not changed.
    EXPECT_EQ(run.err, Summary(veldran::kIsWindows
                                   ? "3 files, 2 changed, 4 replacements, 1 reformatted, 0 failed"
                                   : "3 files, 2 changed, 4 replacements, 0 failed"));
    // Rewritten as text: on Windows with CR LF line ends, also where nothing was replaced.
    EXPECT_EQ(ReadBytes(a), Native("PLATE,P1,MAT=EH40\nSTIFF,S1\nPLATE,P2,MAT=EH40,THK=EH40\n"));
    EXPECT_EQ(ReadBytes(b), Native("STIFF,S2\n"));
    EXPECT_EQ(ReadBytes(c), Native("BEAM,EH40%d\n"));
    // One record per changed line, however many replacements it had; each line's own newline
    // and the record's end make the empty line.
    EXPECT_EQ(MaskTimeStamps(ReadBytes(ws.LogFile())),
              "TS -> " + c + " -> BEAM,EH40%d\n\n" +           //
                  "TS -> " + a + " -> PLATE,P1,MAT=EH40\n\n" + //
                  "TS -> " + a + " -> PLATE,P2,MAT=EH40,THK=EH40\n\n");
    EXPECT_EQ(ReadBytes(ws.BatchFile()), Native(c + "\n" + a + "\n"));
}

TEST(ReplaceCommand, WrapsLongLinesOnceAndLogsThemUnwrapped) {
    Workspace ws;
    const std::string k60(60, 'K');
    const std::string text = std::string(40, 'X') + "," + std::string(31, 'Y') + "\n" + // 73
                             std::string(80, 'Q') + "\n" +                              // no comma
                             k60 + ",ID" + std::string(8, 'K') + "\n" + // 72, grows to 75
                             std::string(72, 'S') + "\n" +              // 73, no comma
                             std::string(73, 'Z');                      // last line, no newline
    const std::string file = ws.Scheme("long.sch", text);

    const CliRun run = RunCli({"replace", "-f", "ID", "-r", "IDENT", file}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, file + "\n");
    EXPECT_EQ(ReadBytes(file),
              Native(std::string(40, 'X') + ",\n     " + std::string(31, 'Y') + "\n" + "\n     " +
                     std::string(80, 'Q') + "\n" +                                    //
                     k60 + ",\n     IDENT" + std::string(8, 'K') + "\n" + "\n     " + //
                     std::string(72, 'S') + "\n" +                                    //
                     "\n     " + std::string(73, 'Z')));
    EXPECT_EQ(MaskTimeStamps(ReadBytes(ws.LogFile())),
              "TS -> " + file + " -> " + k60 + ",IDENT" + std::string(8, 'K') + "\n\n");
}

TEST(ReplaceCommand, KeepsCrLfLineEndsAndCountsThemAsOneCharacter) {
    Workspace ws;
    const std::string file =
        ws.Scheme("crlf.sch", "ROW,AH36\r\n" + std::string(30, 'A') + "," + std::string(41, 'B') +
                                  "\r\n" + // 72 characters and a line end: wrapped
                                  std::string(71, 'C') + "\r\n"); // 71 and a line end: not

    const CliRun run = RunCli({"replace", "-f", "AH36", "-r", "EH40", file}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ReadBytes(file), "ROW,EH40\r\n" + std::string(30, 'A') + ",\r\n     " +
                                   std::string(41, 'B') + "\r\n" + std::string(71, 'C') + "\r\n");
    // The log takes the line as read, with its line end as one newline.
    EXPECT_EQ(MaskTimeStamps(ReadBytes(ws.LogFile())), "TS -> " + file + " -> ROW,EH40\n\n");
}

TEST(ReplaceCommand, EmptyTexts) {
    Workspace ws;
    // An empty find text matches nothing, yet every file still gets the wrap rule.
    const std::string wrapped = ws.Scheme("wrap.sch", std::string(80, 'Q') + "\nAH36\n");
    CliRun run =
        RunCli({"replace", "--find", "", "--replace", "X", "--batch-data", wrapped}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "") << "only wrapped: rewritten, counted, not listed";
    EXPECT_EQ(run.err, Summary("1 file, 0 changed, 0 replacements, 1 reformatted, 0 failed"));
    EXPECT_EQ(ReadBytes(wrapped), Native("\n     " + std::string(80, 'Q') + "\nAH36\n"));
    EXPECT_FALSE(Exists(ws.LogFile()));
    EXPECT_FALSE(Exists(ws.BatchFile()));

    // An empty replacement text deletes every occurrence.
    const std::string deleted = ws.Scheme("del.sch", "MAT=AH36,THK=AH36\n");
    run = RunCli({"replace", "--find=AH36", "--replace=", deleted}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, deleted + "\n");
    EXPECT_EQ(run.err, Summary("1 file, 1 changed, 2 replacements, 0 failed"));
    EXPECT_EQ(ReadBytes(deleted), Native("MAT=,THK=\n"));
}

TEST(ReplaceCommand, TextsAreTakenAsTyped) {
    Workspace ws;
    const std::string file = ws.Scheme("t.sch", "a\\tb  AH36 ah36 -x\n");
    const CliRun run = RunCli({"replace", "-f", "\\t", "-r", " -y ", "--", file}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ReadBytes(file), Native("a -y b  AH36 ah36 -x\n"));
    // Letter case counts, and a value may begin with a hyphen.
    const CliRun upper = RunCli({"replace", "-fah36", "-r", "-x", file}, ws.Env());
    EXPECT_EQ(upper.exitCode, 0);
    EXPECT_EQ(ReadBytes(file), Native("a -y b  AH36 -x -x\n"));
}

TEST(ReplaceCommand, ReportsFilesThatFailAndGoesOn) {
    Workspace ws;
    const std::string first = ws.Scheme("first.sch", "AH36\n");
    const std::string directory = ws.schemes + "/folder.sch";
    std::filesystem::create_directory(directory);
    const std::string missing = ws.schemes + "/missing.sch";
    const std::string locked = ws.Scheme("locked.sch", "AH36\n");
    ::chmod(locked.c_str(), 0444);
    // Read-only but needing no change: there is nothing to write, so nothing fails.
    const std::string lockedSame = ws.Scheme("same.sch", Native("EH40\n"));
    ::chmod(lockedSame.c_str(), 0444);
    const std::string last = ws.Scheme("last.sch", "x AH36\n");

    const CliRun run = RunCli({"replace", "-f", "AH36", "-r", "EH40", "--batch-data", first,
                               directory, missing, locked, lockedSame, last},
                              ws.Env());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, first + "\n" + last + "\n");
    EXPECT_EQ(run.err, "veldran-cli: " + directory + ": cannot read: Is a directory\n" +
                           "veldran-cli: " + missing + ": cannot open: " + NoSuchFile() + "\n" +
                           "veldran-cli: " + locked + ": cannot write: the file is read-only\n" +
                           Summary("6 files, 2 changed, 2 replacements, 3 failed"));
    EXPECT_EQ(ReadBytes(first), Native("EH40\n"));
    EXPECT_EQ(ReadBytes(locked), "AH36\n");
    EXPECT_EQ(ReadBytes(last), Native("x EH40\n"));
    EXPECT_FALSE(Exists(missing));
    // Nothing is recorded for a file that was left as it was.
    EXPECT_EQ(ReadBytes(ws.BatchFile()), Native(first + "\n" + last + "\n"));
    EXPECT_EQ(MaskTimeStamps(ReadBytes(ws.LogFile())),
              "TS -> " + first + " -> EH40\n\nTS -> " + last + " -> x EH40\n\n");
}

TEST(ReplaceCommand, ReportsAnOutputFileThatCannotBeWrittenOnce) {
    Workspace ws;
    const std::string table = ws.dir.File("broken_table.txt");
    const std::string noLogDir = ws.dir.File("gone/log");
    const std::string noDataDir = ws.dir.File("gone/data");
    WriteBytes(table, "SB_TEMP=" + noLogDir + "\nSB_SHIPDATA=" + noDataDir + "\n");
    RunSettings broken;
    broken.envTable = table;
    const std::string a = ws.Scheme("a.sch", "AH36\n");
    const std::string b = ws.Scheme("b.sch", "AH36 AH36\n");

    CliRun run = RunCli({"replace", "-f", "AH36", "-r", "EH40", "--batch-data", a, b}, broken);
    EXPECT_EQ(run.exitCode, 1);
    // The scheme files are safe on disk and listed; only the records and the undo are lost.
    EXPECT_EQ(run.out, a + "\n" + b + "\n");
    EXPECT_EQ(run.err,
              "veldran-cli: " + veldran::UndoJournal::FolderIn(noLogDir + veldran::kDirSeparator) +
                  ": cannot start the undo journal: " +
                  // the C++ library's words for it, on Windows too
                  (veldran::kIsWindows ? "No such file or directory" : NoSuchDirectory()) +
                  "; this replace cannot be undone\n" + "veldran-cli: " + noLogDir +
                  veldran::kDirSeparator + "VELDRAN.log: cannot open: " + NoSuchDirectory() + "\n" +
                  "veldran-cli: " + noDataDir + veldran::kDirSeparator +
                  "VELDRAN_BATCH.dat: cannot open: " + NoSuchDirectory() + "\n" +
                  Summary("2 files, 2 changed, 3 replacements, 0 failed"));
    EXPECT_EQ(ReadBytes(a), Native("EH40\n"));
    EXPECT_EQ(ReadBytes(b), Native("EH40 EH40\n"));

    // Without logging, batch data and undo journal nothing is written there, so nothing fails.
    run = RunCli({"replace", "-f", "EH40", "-r", "AH36", "--no-log", "--no-undo", a}, broken);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, Summary("1 file, 1 changed, 1 replacement, 0 failed"));

#ifndef _WIN32 // no device there
    // A device is refused before anything is written to it.
    std::filesystem::create_symlink("/dev/full", ws.LogFile());
    run = RunCli({"replace", "-f", "AH36", "-r", "EH40", a}, ws.Env());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "veldran-cli: " + ws.LogFile() + ": cannot open: not a regular file\n" +
                           Summary("1 file, 1 changed, 1 replacement, 0 failed"));
#endif
}

TEST(ReplaceCommand, OutputFileOptions) {
    Workspace ws;
    const std::string file = ws.Scheme("a.sch", "AH36\n");
    const auto replace = [&](std::vector<std::string> options) {
        std::vector<std::string> args{"replace", "-f", "AH36", "-r", "AH36"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(file);
        return RunCli(args, ws.Env());
    };
    const std::string record = " -> " + file + " -> AH36\n\n";

    // The defaults of the window: a log, no batch data; an existing log grows.
    WriteBytes(ws.LogFile(), "OLD\n");
    EXPECT_EQ(replace({}).exitCode, 0);
    EXPECT_EQ(ReadBytes(ws.LogFile()).substr(0, 4), "OLD\n");
    EXPECT_EQ(MaskTimeStamps(ReadBytes(ws.LogFile()).substr(4)), "TS" + record);
    EXPECT_FALSE(Exists(ws.BatchFile()));

    // Delete first: the log holds this run alone.
    EXPECT_EQ(replace({"--delete-log"}).exitCode, 0);
    EXPECT_EQ(MaskTimeStamps(ReadBytes(ws.LogFile())), "TS" + record);

    // Deleting does not depend on writing: both files go, and none comes back.
    WriteBytes(ws.BatchFile(), "OLD\n");
    EXPECT_EQ(replace({"--no-log", "--delete-log", "--delete-batch"}).exitCode, 0);
    EXPECT_FALSE(Exists(ws.LogFile()));
    EXPECT_FALSE(Exists(ws.BatchFile()));

    // Base names as typed, extensions added; an empty name is the default.
    EXPECT_EQ(replace({"--log-name", "run 1.log", "--batch-data", "--batch-name", "NEXT"}).exitCode,
              0);
    EXPECT_EQ(MaskTimeStamps(ReadBytes(ws.log + "/run 1.log.log")), "TS" + record);
    EXPECT_EQ(ReadBytes(ws.data + "/NEXT.dat"), Native(file + "\n"));
    EXPECT_EQ(replace({"--log-name", "", "--batch-name="}).exitCode, 0);
    EXPECT_TRUE(Exists(ws.LogFile()));
    EXPECT_FALSE(Exists(ws.BatchFile()));
}

TEST(ReplaceCommand, WithoutATableTheOutputFilesGoToTheWorkingDirectory) {
    Workspace ws;
    const std::string file = ws.Scheme("a.sch", "AH36\n");
    RunSettings settings; // TB_ENV_TABLE unset
    settings.workDir = ws.dir.Path().string();
    const CliRun run =
        RunCli({"replace", "-f", "AH36", "-r", "EH40", "--batch-data", "schemes/a.sch"}, settings);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "schemes/a.sch\n");
    EXPECT_EQ(ReadBytes(file), Native("EH40\n"));
    EXPECT_EQ(MaskTimeStamps(ReadBytes(ws.dir.File("VELDRAN.log"))),
              "TS -> schemes/a.sch -> EH40\n\n");
    EXPECT_EQ(ReadBytes(ws.dir.File("VELDRAN_BATCH.dat")), Native("schemes/a.sch\n"));
}

TEST(ReplaceCommand, AListThatCannotBeWrittenIsAFailure) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that takes no data";
#endif
    Workspace ws;
    const std::string file = ws.Scheme("a.sch", "AH36\n");
    RunSettings full = ws.Env();
    full.stdoutPath = "/dev/full";
    const CliRun run = RunCli({"replace", "-f", "AH36", "-r", "EH40", file}, full);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "veldran-cli: standard output: No space left on device\n" +
                           Summary("1 file, 1 changed, 1 replacement, 0 failed"));
    EXPECT_EQ(ReadBytes(file), Native("EH40\n"));
}

// veldran-cli on hostile and huge command lines: thousands of files, odd names, huge table
// lines and output files on a disk that fills up.
#include "CliRunner.h"
#include "SmallDisk.h"
#include "UndoJournal.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace veldran::clitest;

namespace {

std::string Summary(const std::string& counts) {
    return "veldran-cli: " + counts + "\n";
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

using veldran::test::SmallDisk;

} // namespace

TEST(HostileCli, TwentyThousandFilesInOneCommand) {
    Workspace ws;
    // Names relative to the working directory, as a shell's *.sch gives them; every hundredth
    // file holds the text, so the command writes 200 files and reads 20,000.
    constexpr int kFiles = 20000;
    std::vector<std::string> names;
    std::string matching;
    for (int i = 0; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%05d.sch", i);
        names.emplace_back(name);
        WriteBytes(ws.schemes + "/" + name,
                   i % 100 == 7 ? "PLATE,AH36," + std::to_string(i) + "\n" : "PLATE,AH40\n");
        if (i % 100 == 7)
            matching += names.back() + "\n";
    }
    RunSettings settings = ws.Env();
    settings.workDir = ws.schemes;
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.end(), names.begin(), names.end());
        return args;
    };
    const ino_t untouched = Inode(ws.schemes + "/f00000.sch");

    CliRun run = RunCli(with({"find", "-f", "AH36"}), settings);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, matching);
    EXPECT_EQ(run.err, Summary("20000 files, 200 matched, 0 failed"));

    run = RunCli(with({"replace", "-f", "AH36", "-r", "EH36", "--batch-data"}), settings);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, matching);
    EXPECT_EQ(run.err, Summary("20000 files, 200 changed, 200 replacements, 0 failed"));
    EXPECT_EQ(ReadBytes(ws.BatchFile()), matching);
    std::string records;
    for (int i = 0; i < kFiles; ++i) {
        const std::string text = ReadBytes(ws.schemes + "/" + names[i]);
        if (i % 100 == 7) {
            const std::string line = "PLATE,EH36," + std::to_string(i) + "\n";
            ASSERT_EQ(text, line) << names[i];
            records += "TS -> " + names[i] + " -> " + line + "\n";
        } else {
            ASSERT_EQ(text, "PLATE,AH40\n") << names[i];
        }
    }
    EXPECT_EQ(MaskTimeStamps(ReadBytes(ws.LogFile())), records);
    EXPECT_EQ(Inode(ws.schemes + "/f00000.sch"), untouched) << "a file without a match stays";

    // Create batch file: all 20,000 paths in one record, closed by an empty line.
    std::filesystem::remove(ws.BatchFile());
    run = RunCli(with({"batch"}), settings);
    EXPECT_EQ(run.exitCode, 0);
    std::string all;
    for (const std::string& name : names)
        all += name + "\n";
    EXPECT_EQ(ReadBytes(ws.BatchFile()), all + "\n");
}

TEST(HostileCli, NamesWithBlanksQuotesDashesAndNonAsciiLetters) {
    Workspace ws;
    const std::vector<std::string> odd = {
        ws.Scheme("two  blanks .sch", "AH36\n"),
        ws.Scheme("q\"uo'te`s.sch", "AH36\n"),
        ws.Scheme("\xC3\x9C"
                  "ber \xE2\x84\x96"
                  "5 \xC4.sch",
                  "AH36\n"), // UTF-8 and a Latin-1 byte
        ws.Scheme("$(rm -rf x) *?[a].sch", "AH36\n"),
    };
    const std::string dashed = "-dash.sch";
    WriteBytes(ws.schemes + "/" + dashed, "AH36\n");
    RunSettings settings = ws.Env();
    settings.workDir = ws.schemes;

    // Without "--" a name that begins with a dash is an option, and nothing is touched.
    CliRun run = RunCli({"replace", "-f", "AH36", "-r", "EH36", dashed}, settings);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("unknown option"), std::string::npos) << run.err;
    EXPECT_EQ(ReadBytes(ws.schemes + "/" + dashed), "AH36\n");
    EXPECT_FALSE(Exists(ws.LogFile()));

    std::vector<std::string> args = {"replace", "-f", "AH36", "-r", "EH36", "--batch-data", "--"};
    args.insert(args.end(), odd.begin(), odd.end());
    args.push_back(dashed);
    run = RunCli(args, settings);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::string listed;
    std::string records;
    for (const std::string& path : odd) {
        EXPECT_EQ(ReadBytes(path), "EH36\n") << path;
        listed += path + "\n";
        records += "TS -> " + path + " -> EH36\n\n";
    }
    listed += dashed + "\n";
    records += "TS -> " + dashed + " -> EH36\n\n";
    EXPECT_EQ(ReadBytes(ws.schemes + "/" + dashed), "EH36\n");
    // Every path reaches the list, the log and the batch data file byte for byte.
    EXPECT_EQ(run.out, listed);
    EXPECT_EQ(MaskTimeStamps(ReadBytes(ws.LogFile())), records);
    EXPECT_EQ(ReadBytes(ws.BatchFile()), listed);
}

TEST(HostileCli, ATableWithHugeLinesAndDirectoriesWithOddNames) {
    Workspace ws;
    const std::string logDir = ws.dir.File("log \"dir\" 'with' bl\xC3\xA4nks");
    std::filesystem::create_directory(logDir);
    const std::string project(10000, 'P');
    const std::string table = ws.dir.File("env table \xC3\xBC \"1\".txt");
    WriteBytes(table, std::string(10000, 'N') + "=" + std::string(10000, 'v') + "\n" +
                          "SB_PROJECT=" + project + "\nSB_TEMP=" + logDir +
                          "\nSB_SHIPDATA=" + ws.data + "\n" + std::string(10000, '#') + "\n");
    RunSettings settings;
    settings.envTable = table;

    CliRun run = RunCli({"env"}, settings);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Project Name: " + project + "\nScheme directory: /\nLog directory: " +
                           logDir + "/\nBatch data directory: " + ws.data + "/\n");

    const std::string file = ws.Scheme("a.sch", "AH36\n");
    run = RunCli({"replace", "-f", "AH36", "-r", "EH36", file}, settings);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(MaskTimeStamps(ReadBytes(logDir + "/VELDRAN.log")), "TS -> " + file + " -> EH36\n\n");
}

TEST(HostileCli, OutputFilesOnADiskThatFillsUp) {
    Workspace ws;
    SmallDisk disk(ws.dir.File("small disk"), 1 << 20);
    if (!disk.Mounted())
        GTEST_SKIP() << "no small tmpfs to fill: mount failed (" << disk.Why()
                     << "); failed writes of the output files are covered through the core's "
                        "write seam";
    const std::string table = ws.dir.File("full table.txt");
    WriteBytes(table, "SB_TEMP=" + disk.File("") + "\nSB_SHIPDATA=" + disk.File("") + "\n");
    RunSettings settings;
    settings.envTable = table;
    const std::string log = disk.File("VELDRAN.log");
    const std::string batch = disk.File("VELDRAN_BATCH.dat");

    // 300 files of 100 changed lines each: about 4 MB of log records for 16 KB of room.
    std::vector<std::string> args = {"replace", "-f", "AH36", "-r", "EH36"};
    std::string line;
    for (int i = 0; i < 100; ++i)
        line += "PLATE,AH36," + std::string(40, 'x') + "\n";
    std::vector<std::string> files;
    for (int i = 0; i < 300; ++i) {
        files.push_back(ws.Scheme("f" + std::to_string(i) + ".sch", line));
        args.push_back(files.back());
    }
    // Room for the batch data file's earlier text is taken first: up to a page boundary, so that
    // any further record needs a new page.
    const std::string earlier = std::string(4095, 'e') + "\n";
    WriteBytes(batch, earlier);
    disk.FillLeaving(16 << 10);
    CliRun run = RunCli(args, settings);
    EXPECT_EQ(run.exitCode, 1);
    // The undo journal on the full disk gives up at the first file that does not fit; it keeps
    // originals as files are read, the log takes records as they are swapped in, so either may
    // be named first.
    const std::string logFull = "veldran-cli: " + log + ": cannot write: No space left on device\n";
    const std::string journalFull =
        "veldran-cli: " + veldran::UndoJournal::FolderIn(disk.File("")) +
        ": cannot keep the original for undo: No space left on device; the files after it cannot "
        "be undone\n";
    const std::string summary = Summary("300 files, 300 changed, 30000 replacements, 0 failed");
    EXPECT_TRUE(run.err == logFull + journalFull + summary ||
                run.err == journalFull + logFull + summary)
        << run.err;
    // Every scheme file is done; the log holds the whole records of the first few files only.
    std::string rewritten;
    for (int i = 0; i < 100; ++i)
        rewritten += "PLATE,EH36," + std::string(40, 'x') + "\n";
    for (const std::string& f : files)
        ASSERT_EQ(ReadBytes(f), rewritten) << f;
    const std::string got = MaskTimeStamps(ReadBytes(log));
    std::string whole;
    std::size_t filesLogged = 0;
    while (whole.size() < got.size() && filesLogged < files.size()) {
        for (int i = 0; i < 100; ++i)
            whole +=
                "TS -> " + files[filesLogged] + " -> PLATE,EH36," + std::string(40, 'x') + "\n\n";
        ++filesLogged;
    }
    EXPECT_EQ(got, whole) << "not a sequence of whole records";
    EXPECT_LT(filesLogged, files.size());

    // Create batch file with not a byte left: reported, and the file keeps what it had.
    disk.FillLeaving(0);
    run = RunCli({"batch", files[0], files[1]}, settings);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "veldran-cli: " + batch + ": cannot write: No space left on device\n");
    EXPECT_EQ(ReadBytes(batch), earlier);
}

namespace {

// Temporaries that a rewrite left in a directory.
std::vector<std::string> Leftovers(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string().rfind(".veldran-", 0) == 0)
            found.push_back(entry.path().string());
    return found;
}

} // namespace

TEST(HostileCli, AStopSignalEndsTheRunCleanlyWithTheListSoFar) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        Workspace ws;
        const std::string done = ws.Scheme("a.sch", "AH36\n");
        const std::string busy = ws.Scheme("b.sch", "AH36\n");
        const std::string later = ws.Scheme("c.sch", "AH36\n");
        // Another veldran holds the second file; the signal comes once this one says it waits.
        veldran::test::HeldLock held(busy);
        RunSettings settings = ws.Env();
        settings.whileRunning = [&](int pid, ChildEvents& events) {
            EXPECT_TRUE(events.WaitFor(kLockWaitEvent));
            ::kill(pid, signal);
        };
        const CliRun run =
            RunCli({"replace", "-f", "AH36", "-r", "EH36", done, busy, later}, settings);
        EXPECT_EQ(run.exitCode, 128 + signal);
        EXPECT_EQ(run.out, done + "\n");
        // The file in hand is dropped, as if it had not been started.
        EXPECT_EQ(run.err, Summary("3 files, 1 changed, 1 replacement, 0 failed") +
                               Summary("interrupted by signal " + std::to_string(signal)));
        EXPECT_EQ(ReadBytes(busy), "AH36\n");
        EXPECT_EQ(ReadBytes(later), "AH36\n");
        EXPECT_EQ(Leftovers(ws.schemes), std::vector<std::string>{});
    }
}

TEST(HostileCli, LimitsAndAGoneReaderAreReportedAndTheRunGoesOn) {
    Workspace ws;
    std::string lines;
    for (int i = 0; i < 2000; ++i)
        lines += "PLATE,AH36," + std::to_string(i) + "\n";
    const std::string big = ws.Scheme("big.sch", lines);
    const std::string small = ws.Scheme("small.sch", "AH36\n");
    const std::string huge = ws.Scheme("huge.sch", "");
    struct Case {
        const char* what;
        RunSettings settings;
        std::string failed; // the file that fails, and why
        std::string reason;
    };
    RunSettings fileSize = ws.Env();
    fileSize.fileSizeLimit = std::uint64_t{16} * 1024; // as ulimit -f 16 does
    RunSettings memory = ws.Env();
    memory.memoryLimit = std::uint64_t{160} << 20; // as ulimit -v does
    RunSettings unread = ws.Env();
    unread.stdoutUnread = true; // as | head -1 does once head has its line
    const Case cases[] = {
        {"file size limit", fileSize, big, "cannot write: File too large"},
        {"memory limit", memory, huge, "cannot read: out of memory"},
        {"no reader on stdout", unread, "standard output", "Broken pipe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (kSanitized && c.settings.memoryLimit != 0)
            continue;
        WriteBytes(big, lines);
        WriteBytes(small, "AH36\n");
        WriteBytes(huge, std::string(std::size_t{100} << 20, 'x')); // more than memory allows
        const CliRun run = RunCli(
            {"replace", "-f", "AH36", "-r", "EH36", "--no-log", big, huge, small}, c.settings);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_NE(run.err.find("veldran-cli: " + c.failed + ": " + c.reason + "\n"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(ReadBytes(small), "EH36\n") << "the run went on";
        if (c.failed != "standard output") {
            EXPECT_EQ(ReadBytes(c.failed).substr(0, 11),
                      c.failed == big ? "PLATE,AH36," : "xxxxxxxxxxx");
        }
        EXPECT_EQ(Leftovers(ws.schemes), std::vector<std::string>{});
    }
}

TEST(HostileCli, MemoryStaysNearTheFileSizeHoweverManyLinesChange) {
    if (kSanitized)
        GTEST_SKIP() << "the sanitizers' own memory hides the program's";
    Workspace ws;
    std::string lines;
    for (int i = 0; i < 2'000'000; ++i) // 10 MB, every line changed and logged
        lines += "AH36\n";
    const std::string file = ws.Scheme("short lines.sch", lines);
    const CliRun run = RunCli({"replace", "-f", "AH36", "-r", "EH36", file}, ws.Env());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The old and new text, and a constant: never the 160 MB of log records.
    EXPECT_LT(run.maxResidentKb, 64 * 1024);
    EXPECT_EQ(std::filesystem::file_size(ws.LogFile()),
              2'000'000 * (19 + 4 + file.size() + 4 + 5 + 1));
}

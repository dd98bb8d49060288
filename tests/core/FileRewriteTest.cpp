#include "FileRewrite.h"
#include "Records.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace veldran;
namespace fs = std::filesystem;

namespace {

// Option boxes whose state a test sets, counting how often each is asked.
class Boxes : public OptionBoxes {
public:
    bool log = true;
    bool batch = false;
    int logAsked = 0;
    int batchAsked = 0;
    bool CreateLogTicked() override {
        ++logAsked;
        return log;
    }
    bool CreateBatchDataTicked() override {
        ++batchAsked;
        return batch;
    }
};

class FailAt : public WriteFaults {
public:
    explicit FailAt(WriteStep step) : m_step(step) {}
    int Inject(WriteStep step) override { return step == m_step ? ENOSPC : 0; }

private:
    WriteStep m_step;
};

class FileRewrite : public ::testing::Test {
protected:
    test::TempDir dir;
    Boxes boxes;

    RewriteJob Job(const std::string& name, std::string find, std::string replace) {
        return {dir.File(name), std::move(find), std::move(replace), dir.File("VELDRAN.log"),
                dir.File("VELDRAN_BATCH.dat")};
    }
    std::string Log() {
        return fs::exists(dir.File("VELDRAN.log"))
                   ? test::FromNative(test::ReadBytes(dir.File("VELDRAN.log")))
                   : "";
    }
    std::string Batch() {
        return fs::exists(dir.File("VELDRAN_BATCH.dat"))
                   ? test::FromNative(test::ReadBytes(dir.File("VELDRAN_BATCH.dat")))
                   : "";
    }
    // Log records without their time stamps, which the clock decides.
    std::string LogWithoutTimes() {
        std::string out;
        const std::string log = Log();
        for (std::size_t at = 0; at < log.size();) {
            const std::size_t sep = log.find(" -> ", at);
            const std::size_t next = log.find("\n", sep);
            EXPECT_EQ(sep - at, 19u) << "time stamp of 19 characters";
            std::size_t end = next + 1;
            if (end < log.size() && log[end] == '\n')
                ++end; // the record's own newline after the piece's
            out += log.substr(sep, end - sep);
            at = end;
        }
        return out;
    }
};

} // namespace

TEST_F(FileRewrite, ReplacesWrapsLogsAndRecordsTheBatchPath) {
    const std::string longLine =
        "PLATE,DK2-103,MAT=AH36,THK=14.0,X=2400.0,Y=0.0,Z=8400.0,NOTE=UNDER CRANE";
    test::WriteBytes(dir.File("a.sch"),
                     "MAT=AH36,T=1\nnone here\n" + longLine + "\nAH36 AH36 AH36\n");
    boxes.batch = true;
    const RewriteOutcome r = ProcessFile(Job("a.sch", "AH36", "EH36"), boxes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.changed);
    EXPECT_TRUE(r.written);
    EXPECT_EQ(r.replacements, 5u);
    EXPECT_EQ(r.logRecords, 3u);
    EXPECT_EQ(boxes.logAsked, 3);   // once per changed piece
    EXPECT_EQ(boxes.batchAsked, 1); // once, after the write

    std::string newLong = longLine;
    newLong.replace(newLong.find("AH36"), 4, "EH36");
    const std::size_t comma = newLong.rfind(',', 69);
    EXPECT_EQ(test::ReadBytes(dir.File("a.sch")),
              test::Native("MAT=EH36,T=1\nnone here\n" + newLong.substr(0, comma + 1) + "\n     " +
                           newLong.substr(comma + 1) + "\nEH36 EH36 EH36\n"));
    const std::string path = dir.File("a.sch");
    EXPECT_EQ(LogWithoutTimes(), " -> " + path + " -> MAT=EH36,T=1\n\n -> " + path + " -> " +
                                     newLong + "\n\n -> " + path + " -> EH36 EH36 EH36\n\n");
    EXPECT_EQ(Batch(), path + "\n");
}

TEST_F(FileRewrite, UnchangedFilesAreNotRecordedNorRewritten) {
    // In the platform's own line ends, so that the rewrite gives the same bytes.
    const std::string text = test::Native("short,line\nanother\nno newline at the end");
    test::WriteBytes(dir.File("b.sch"), text);
    struct stat before {};
    ASSERT_EQ(::stat(dir.File("b.sch").c_str(), &before), 0);
    boxes.batch = true;
    for (const std::string find : {"absent", ""}) {
        const RewriteOutcome r = ProcessFile(Job("b.sch", find, "x"), boxes);
        ASSERT_TRUE(r.ok);
        EXPECT_FALSE(r.changed);
        EXPECT_FALSE(r.written);
    }
    struct stat after {};
    ASSERT_EQ(::stat(dir.File("b.sch").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(test::ReadBytes(dir.File("b.sch")), text);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Batch(), "");
    EXPECT_EQ(boxes.logAsked, 0);

    test::WriteBytes(dir.File("empty.sch"), "");
    const RewriteOutcome empty = ProcessFile(Job("empty.sch", "x", "y"), boxes);
    EXPECT_TRUE(empty.ok);
    EXPECT_FALSE(empty.changed);
    EXPECT_EQ(test::ReadBytes(dir.File("empty.sch")), "");
}

TEST_F(FileRewrite, AnEmptyFindTextStillWrapsLongLines) {
    const std::string longLine(80, 'L');
    test::WriteBytes(dir.File("w.sch"), longLine);
    const RewriteOutcome r = ProcessFile(Job("w.sch", "", "x"), boxes);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.changed);
    EXPECT_TRUE(r.written);
    // No final newline before, none after.
    EXPECT_EQ(test::ReadBytes(dir.File("w.sch")), test::Native("\n     " + longLine));
}

TEST_F(FileRewrite, OptionBoxesDecideTheRecords) {
    test::WriteBytes(dir.File("c.sch"), "A\nA\n");
    boxes.log = false;
    boxes.batch = true;
    const RewriteOutcome r = ProcessFile(Job("c.sch", "A", "B"), boxes);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.logRecords, 0u);
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Batch(), dir.File("c.sch") + "\n");

    // A second run appends again; the batch data file is never searched for duplicates.
    test::WriteBytes(dir.File("c.sch"), "A\n");
    boxes.log = true;
    ProcessFile(Job("c.sch", "A", "B"), boxes);
    EXPECT_EQ(Batch(), dir.File("c.sch") + "\n" + dir.File("c.sch") + "\n");

    // Same text in, same text out, but a replacement was made: it counts as a change.
    boxes.batch = false;
    const RewriteOutcome same = ProcessFile(Job("c.sch", "B", "B"), boxes);
    EXPECT_TRUE(same.changed);
    EXPECT_FALSE(same.written);
}

TEST_F(FileRewrite, KeepsTheFilesOwnLineEnds) {
    test::WriteBytes(dir.File("crlf.sch"), "A,1\r\nkeep\r\n" + std::string(75, 'z') + "\r\n");
    ASSERT_TRUE(ProcessFile(Job("crlf.sch", "A", "B"), boxes).ok);
    EXPECT_EQ(test::ReadBytes(dir.File("crlf.sch")),
              "B,1\r\nkeep\r\n\r\n     " + std::string(75, 'z') + "\r\n");
    // The log holds the line as read, with a single newline.
    EXPECT_EQ(LogWithoutTimes(), " -> " + dir.File("crlf.sch") + " -> B,1\n\n");

    // A CR LF line of 72 characters and its newline is not wrapped: the CR does not count.
    const std::string seventyOne(71, 'q');
    test::WriteBytes(dir.File("edge.sch"), seventyOne + "\r\n");
    ProcessFile(Job("edge.sch", "", ""), boxes);
    EXPECT_EQ(test::ReadBytes(dir.File("edge.sch")), seventyOne + "\r\n");

    // One CR LF makes a CR LF file: its bare LFs are written as CR LF too.
    test::WriteBytes(dir.File("mixed.sch"), "A\r\nplain\nlines\nA\r\n");
    ProcessFile(Job("mixed.sch", "A", "B"), boxes);
    EXPECT_EQ(test::ReadBytes(dir.File("mixed.sch")), "B\r\nplain\r\nlines\r\nB\r\n");

    test::WriteBytes(dir.File("lf.sch"), "A\nlone\rcr\n");
    ProcessFile(Job("lf.sch", "A", "B"), boxes);
    // On Windows every newline is written as CR LF, whatever the file held.
    EXPECT_EQ(test::ReadBytes(dir.File("lf.sch")), test::Native("B\nlone\rcr\n"));
}

TEST_F(FileRewrite, ZeroBytesAndCtrlZAreOrdinaryCharacters) {
    const std::string text = std::string("A\0B\x1A"
                                         "C\nD\0A\n",
                                         11);
    test::WriteBytes(dir.File("z.sch"), text);
    const RewriteOutcome r = ProcessFile(Job("z.sch", "A", "Q"), boxes);
    EXPECT_EQ(r.replacements, 2u);
    EXPECT_EQ(test::ReadBytes(dir.File("z.sch")), test::Native(std::string("Q\0B\x1A"
                                                                           "C\nD\0Q\n",
                                                                           11)));
}

TEST_F(FileRewrite, AFileThatCannotBeReadOrWrittenIsLeftAndNotRecorded) {
    boxes.batch = true;
    const RewriteOutcome missing = ProcessFile(Job("missing.sch", "A", "B"), boxes);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("cannot open"), std::string::npos) << missing.error;

    fs::create_directory(dir.File("folder.sch"));
    const RewriteOutcome folder = ProcessFile(Job("folder.sch", "A", "B"), boxes);
    EXPECT_FALSE(folder.ok);
    EXPECT_FALSE(folder.error.empty());

    // Read-only is honoured even for the superuser.
    test::WriteBytes(dir.File("ro.sch"), "A\n");
    fs::permissions(dir.File("ro.sch"), fs::perms::owner_read | fs::perms::group_read);
    const RewriteOutcome readOnly = ProcessFile(Job("ro.sch", "A", "B"), boxes);
    EXPECT_FALSE(readOnly.ok);
    EXPECT_FALSE(readOnly.changed);
    EXPECT_NE(readOnly.error.find("read-only"), std::string::npos) << readOnly.error;
    EXPECT_EQ(test::ReadBytes(dir.File("ro.sch")), "A\n");

    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Batch(), "");
}

TEST_F(FileRewrite, TheOriginalSurvivesAFailureAtEveryStepOfTheWrite) {
    const std::string text = "A,original\n" + std::string(100, 'o') + "\n";
    for (const WriteStep step :
         {WriteStep::CreateTemp, WriteStep::Write, WriteStep::Flush, WriteStep::Rename}) {
        test::WriteBytes(dir.File("f.sch"), text);
        FailAt fault(step);
        boxes.batch = true;
        const RewriteOutcome r = ProcessFile(Job("f.sch", "A", "B"), boxes, &fault);
        EXPECT_FALSE(r.ok) << static_cast<int>(step);
        EXPECT_FALSE(r.changed);
        EXPECT_NE(r.error.find("No space left"), std::string::npos) << r.error;
        EXPECT_EQ(test::ReadBytes(dir.File("f.sch")), text);
        int entries = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path()))
            ++entries;
        EXPECT_EQ(entries, 1) << "no temporary file left, no log, no batch data";
    }
}

TEST_F(FileRewrite, KeepsPermissionsAndFollowsSymbolicLinks) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows, and permissions there are the "
                    "read-only attribute, which has tests of its own";
#endif
    fs::create_directory(dir.File("real"));
    const std::string target = dir.File("real/t.sch");
    test::WriteBytes(target, "A\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec |
                                fs::perms::group_read);
    fs::create_symlink(target, dir.File("link.sch"));
    ASSERT_TRUE(ProcessFile(Job("link.sch", "A", "B"), boxes).ok);
    EXPECT_TRUE(fs::is_symlink(dir.File("link.sch")));
    EXPECT_EQ(test::ReadBytes(target), "B\n");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec |
                  fs::perms::group_read);
    // The log names the file as the user gave it.
    EXPECT_NE(Log().find(" -> " + dir.File("link.sch") + " -> B\n"), std::string::npos);

    fs::create_symlink(dir.File("gone.sch"), dir.File("dangling.sch"));
    EXPECT_FALSE(ProcessFile(Job("dangling.sch", "A", "B"), boxes).ok);
    EXPECT_TRUE(fs::is_symlink(dir.File("dangling.sch")));
}

TEST_F(FileRewrite, AnOutputFileThatCannotBeWrittenIsReportedAndTheFileStaysDone) {
    test::WriteBytes(dir.File("g.sch"), "A\n");
    boxes.batch = true;
    RewriteJob job = Job("g.sch", "A", "B");
    job.logPath = dir.File("no/such/dir/VELDRAN.log");
    job.batchPath = "/dev/full";
    const RewriteOutcome r = ProcessFile(job, boxes);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(test::ReadBytes(dir.File("g.sch")), test::Native("B\n"));
    EXPECT_NE(r.logError.find("cannot open"), std::string::npos) << r.logError;
#ifdef _WIN32
    EXPECT_FALSE(r.batchError.empty()); // no full device there; the path cannot be written
#else
    EXPECT_NE(r.batchError.find("not a regular file"), std::string::npos) << r.batchError;
#endif
    EXPECT_FALSE(r.batchRecord);
    EXPECT_EQ(r.logRecords, 0u);
}

TEST_F(FileRewrite, ANameAtTheLengthLimitIsStillRewritten) {
#ifdef _WIN32
    // There the limit is the whole path's: MAX_PATH, 260 bytes with the terminating zero.
    const std::string name = std::string(259 - dir.File("").size() - 4, 'n') + ".sch";
#else
    const std::string name = std::string(251, 'n') + ".sch";
#endif
    test::WriteBytes(dir.File(name), "A\n");
    const RewriteOutcome r = ProcessFile(Job(name, "A", "B"), boxes);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(test::ReadBytes(dir.File(name)), test::Native("B\n"));
}

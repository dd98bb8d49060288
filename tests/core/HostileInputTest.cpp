// Hostile and huge inputs and faults. For each: the result a careful user expects, and every file
// other than the ones the operation is meant to change left byte for byte as it was.
#include "EnvironmentTable.h"
#include "FileRewrite.h"
#include "FindOnly.h"
#include "SafeFile.h"
#include "SmallDisk.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

using namespace veldran;
namespace fs = std::filesystem;
using veldran::test::SmallDisk;

namespace {

// Size and FNV-1a hash of a file's bytes, read in large blocks: cheap enough for 200 MB.
std::string Digest(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    std::uint64_t hash = 1469598103934665603ull;
    std::uint64_t size = 0;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < n; ++i)
            hash = (hash ^ static_cast<unsigned char>(buffer[i])) * 1099511628211ull;
        size += n;
    }
    return "file of " + std::to_string(size) + " bytes, hash " + std::to_string(hash);
}

// Everything under a directory: each entry's kind, and its bytes (as a digest) or link target.
using Tree = std::map<std::string, std::string>;

std::string Mode(const fs::file_status& st) {
    return ", mode " + std::to_string(static_cast<unsigned>(st.permissions() & fs::perms::mask));
}

// Entries named in `skip` are listed without their content.
Tree Snapshot(const fs::path& root, const std::set<std::string>& skip = {}) {
    Tree tree;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(root)) {
        const std::string name = e.path().lexically_relative(root).string();
        const fs::file_status st = e.symlink_status();
        if (skip.count(name) != 0)
            tree[name] = "skipped";
        else if (fs::is_symlink(st))
            tree[name] = "link to " + fs::read_symlink(e.path()).string();
        else if (fs::is_directory(st))
            tree[name] = "directory" + Mode(st);
        else if (fs::is_regular_file(st))
            tree[name] = Digest(e.path()) + Mode(st);
        else
            tree[name] = "special file";
    }
    return tree;
}

ino_t Inode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

bool IsTimeStamp(std::string_view s) {
    static constexpr std::string_view shape = "dd/dd/dddd dd:dd:dd";
    if (s.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (shape[i] == 'd' ? (s[i] < '0' || s[i] > '9') : s[i] != shape[i])
            return false;
    return true;
}

// Writes head, `count` times block, then tail, in large writes.
void WriteRepeated(const std::string& path, const std::string& head, const std::string& block,
                   std::size_t count, const std::string& tail) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << head;
    std::string many;
    const std::size_t perWrite = std::max<std::size_t>(1, (1 << 20) / block.size());
    for (std::size_t i = 0; i < perWrite; ++i)
        many += block;
    for (std::size_t done = 0; done < count; done += perWrite)
        out.write(many.data(),
                  static_cast<std::streamsize>(std::min(perWrite, count - done) * block.size()));
    out << tail;
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

// Whether a file holds exactly head, `count` times block, tail; compared in large reads.
::testing::AssertionResult HoldsRepeated(const std::string& path, const std::string& head,
                                         const std::string& block, std::size_t count,
                                         const std::string& tail) {
    std::ifstream in(path, std::ios::binary);
    std::uint64_t offset = 0;
    std::string got;
    auto expect = [&](const std::string& want) {
        got.resize(want.size());
        in.read(got.data(), static_cast<std::streamsize>(want.size()));
        got.resize(static_cast<std::size_t>(in.gcount()));
        const auto mismatch = std::mismatch(got.begin(), got.end(), want.begin());
        if (got.size() == want.size() && mismatch.first == got.end()) {
            offset += want.size();
            return true;
        }
        offset += static_cast<std::uint64_t>(mismatch.first - got.begin());
        return false;
    };
    const std::size_t perRead = std::max<std::size_t>(1, (1 << 20) / block.size());
    std::string many;
    for (std::size_t i = 0; i < perRead; ++i)
        many += block;
    bool same = expect(head);
    for (std::size_t done = 0; same && done < count; done += perRead)
        same =
            expect(done + perRead <= count ? many : many.substr(0, (count - done) * block.size()));
    same = same && expect(tail) && in.peek() == std::char_traits<char>::eof();
    if (same)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << path << " differs at byte " << offset;
}

// Stands in for another program at one step of an atomic rewrite: it appends a line through a
// descriptor that it keeps open, as a logger does, or it deletes the file.
class OtherProgramAt : public WriteFaults {
public:
    enum class Does { Append, Delete };
    OtherProgramAt(WriteStep step, Does does, std::string path)
        : m_step(step), m_does(does), m_path(std::move(path)) {}
    ~OtherProgramAt() override {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int Inject(WriteStep step) override {
        if (step != m_step)
            return 0;
        if (m_does == Does::Delete) {
            ::unlink(m_path.c_str());
            return 0;
        }
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND);
        EXPECT_EQ(::write(m_fd, "late line\n", 10), 10);
        return 0;
    }

private:
    WriteStep m_step;
    Does m_does;
    std::string m_path;
    int m_fd = -1;
};

class FailAt : public WriteFaults {
public:
    FailAt(WriteStep step, int err) : m_step(step), m_err(err) {}
    int Inject(WriteStep step) override { return step == m_step ? m_err : 0; }

private:
    WriteStep m_step;
    int m_err;
};

constexpr WriteStep kSteps[] = {WriteStep::CreateTemp, WriteStep::Write, WriteStep::Flush,
                                WriteStep::Rename};

const std::string kEarlierLog = "01/01/2026 00:00:00 -> earlier.sch -> AH36\n\n";
const std::string kEarlierBatch = "earlier.sch\n";

class HostileInput : public ::testing::Test {
protected:
    test::TempDir dir;
    FixedOptionBoxes boxes{true, true};
    Tree before;

    // Files that no operation of a test may touch, and output files that hold earlier records.
    void SetUp() override {
        test::WriteBytes(dir.File("bystander.sch"), "PLATE,AH36\n" + std::string(80, 'b') + "\n");
        fs::create_directory(dir.File("other dir"));
        test::WriteBytes(dir.File("other dir/AH36.sch"), "AH36\r\nAH36");
        fs::create_symlink("bystander.sch", dir.File("link to bystander.sch"));
        test::WriteBytes(LogPath(), kEarlierLog);
        test::WriteBytes(BatchPath(), kEarlierBatch);
    }

    std::string LogPath() const { return dir.File("VELDRAN.log"); }
    std::string BatchPath() const { return dir.File("VELDRAN_BATCH.dat"); }
    RewriteJob Job(const std::string& path, std::string find = "AH36",
                   std::string replace = "EH36") const {
        return {path, std::move(find), std::move(replace), LogPath(), BatchPath()};
    }

    void Remember() { before = Snapshot(dir.Path()); }
    // Every entry but `changed` is as Remember() found it, and nothing new lies anywhere else:
    // no temporary file, no stray output.
    void ExpectUntouchedBut(const std::set<std::string>& changed = {}) {
        Tree now = Snapshot(dir.Path(), changed);
        Tree was = before;
        for (const std::string& name : changed) {
            now.erase(name);
            was.erase(name);
        }
        EXPECT_EQ(now, was);
    }

    // The records appended to the change log since SetUp, each a time stamp and then `tails[i]`
    // (" -> file -> piece" and the record's end).
    void ExpectLogAppended(const std::vector<std::string>& tails) {
        const std::string log = test::ReadBytes(LogPath());
        ASSERT_EQ(log.compare(0, kEarlierLog.size(), kEarlierLog), 0) << "earlier records kept";
        std::size_t at = kEarlierLog.size();
        for (const std::string& tail : tails) {
            ASSERT_TRUE(IsTimeStamp(log.substr(at, 19))) << log.substr(at, 40);
            ASSERT_EQ(log.substr(at + 19, tail.size()), tail);
            at += 19 + tail.size();
        }
        EXPECT_EQ(at, log.size()) << "no further records";
    }
    void ExpectBatch(const std::string& added) {
        EXPECT_EQ(test::ReadBytes(BatchPath()), kEarlierBatch + added);
    }

    // The file could not be rewritten: reported, nothing recorded for it.
    void ExpectRefused(const RewriteOutcome& r, const std::string& why) {
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.changed);
        EXPECT_FALSE(r.written);
        EXPECT_EQ(r.logRecords, 0u);
        EXPECT_FALSE(r.batchRecord);
        EXPECT_NE(r.error.find(why), std::string::npos) << r.error;
    }

    FindResult Find(const std::string& path, std::string_view find) {
        std::string error;
        const FindResult result = FileContains(path, find, error);
        EXPECT_EQ(result == FindResult::Error, !error.empty()) << error;
        return result;
    }
};

std::string Tail(const std::string& path, const std::string& piece) {
    return " -> " + path + " -> " + piece + "\n";
}

} // namespace

TEST_F(HostileInput, AFileOf200MegabytesIsSearchedUntouchedAndRewrittenWhole) {
    const std::string path = dir.File("big.sch");
    const std::string block =
        std::string(40, 'S') + "\n" + std::string(50, 'L') + "," + std::string(49, 'M') + "\n";
    const std::string wrapped = std::string(40, 'S') + "\n" + std::string(50, 'L') + ",\n     " +
                                std::string(49, 'M') + "\n";
    const std::size_t count = (200u << 20) / block.size();
    WriteRepeated(path, "HEAD,AH36,FIRST\n", block, count, "TAIL AH36");
    Remember();

    // The only match is in the last line, 200 MB in; a text that spans two lines is no match.
    struct stat was {};
    ::stat(path.c_str(), &was);
    EXPECT_EQ(Find(path, "TAIL AH36"), FindResult::Found);
    EXPECT_EQ(Find(path, "M\nS"), FindResult::NotFound);
    EXPECT_EQ(Find(path, "absent"), FindResult::NotFound);
    ExpectUntouchedBut();
    struct stat now {};
    ::stat(path.c_str(), &now);
    EXPECT_EQ(now.st_mtim.tv_sec, was.st_mtim.tv_sec);
    EXPECT_EQ(now.st_mtim.tv_nsec, was.st_mtim.tv_nsec) << "not even the time has changed";

    const RewriteOutcome r = ProcessFile(Job(path), boxes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.written);
    EXPECT_EQ(r.replacements, 2u);
    EXPECT_TRUE(HoldsRepeated(path, "HEAD,EH36,FIRST\n", wrapped, count, "TAIL EH36"));
    ExpectLogAppended({Tail(path, "HEAD,EH36,FIRST\n"), Tail(path, "TAIL EH36")});
    ExpectBatch(path + "\n");
    ExpectUntouchedBut({"big.sch", "VELDRAN.log", "VELDRAN_BATCH.dat"});
}

TEST_F(HostileInput, ALineOf50MegabytesIsCutIntoPiecesThatAreEachWrapped) {
    // Every piece of 255 characters carries its number, so each piece can be looked for.
    auto piece = [](std::size_t i) {
        char number[16];
        std::snprintf(number, sizeof number, "#%06zu#", i);
        return std::string(30, 'a') + "," + number + std::string(216, 'b');
    };
    const std::size_t pieces = (50u << 20) / 255 + 1;
    std::string line;
    line.reserve(pieces * 255 + 1);
    for (std::size_t i = 0; i < pieces; ++i)
        line += piece(i);
    line += "\n";
    const std::string path = dir.File("one line.sch");
    test::WriteBytes(path, line);
    Remember();

    for (const std::size_t i : {std::size_t{0}, std::size_t{777}, std::size_t{1027},
                                std::size_t{1028}, pieces / 2, pieces - 1})
        EXPECT_EQ(Find(path, piece(i).substr(31, 8)), FindResult::Found) << i;
    // "ba" stands only where one piece ends and the next begins, "b\n" where the last piece
    // meets the line's end, which arrives as a piece of its own.
    EXPECT_EQ(Find(path, "ba"), FindResult::NotFound);
    EXPECT_EQ(Find(path, "b\n"), FindResult::NotFound);
    ExpectUntouchedBut();

    const RewriteOutcome r = ProcessFile(Job(path, "#000777#", "#HIT#"), boxes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.replacements, 1u);
    std::string expected;
    expected.reserve(line.size() + pieces * 6);
    for (std::size_t i = 0; i < pieces; ++i) {
        const std::string p =
            i == 777 ? std::string(30, 'a') + ",#HIT#" + std::string(216, 'b') : piece(i);
        expected += p.substr(0, 31) + "\n     " + p.substr(31);
    }
    expected += "\n";
    EXPECT_TRUE(test::ReadBytes(path) == expected) << "the rewritten line differs";
    // The changed piece is logged alone, without a newline of its own.
    ExpectLogAppended({Tail(path, std::string(30, 'a') + ",#HIT#" + std::string(216, 'b'))});
    ExpectBatch(path + "\n");
    ExpectUntouchedBut({"one line.sch", "VELDRAN.log", "VELDRAN_BATCH.dat"});
}

TEST_F(HostileInput, ZeroBytesCtrlZAndHighBytesAreOrdinaryCharacters) {
    std::string high;
    for (int c = 0x80; c <= 0xFF; ++c)
        high += static_cast<char>(c);
    using namespace std::string_literals;
    const std::string text =
        "A\0B,AH36\0\n"s + "\x1A"s + "after Ctrl-Z AH36\n" + high + "\n" + "end\0\x1A"s;
    const std::string path = dir.File("bytes.sch");
    test::WriteBytes(path, text);
    const std::string latin1 = dir.File("latin1.sch");
    test::WriteBytes(latin1, "caf\xE9 CAF\xC9\n");
    Remember();

    EXPECT_EQ(Find(path, "after Ctrl-Z"), FindResult::Found);
    EXPECT_EQ(Find(path, "\0\x1A"s), FindResult::Found);
    EXPECT_EQ(Find(path, "\xFE\xFF\n"), FindResult::Found);
    EXPECT_EQ(Find(latin1, "CAF\xE9"), FindResult::NotFound); // bytes compare exactly
    ExpectUntouchedBut();

    // Latin-1 capital E acute becomes its UTF-8 form; the small one is another byte.
    RewriteOutcome r = ProcessFile(Job(latin1, "\xC9", "\xC3\x89"), boxes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(test::ReadBytes(latin1), "caf\xE9 CAF\xC3\x89\n");
    r = ProcessFile(Job(path), boxes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.replacements, 2u);
    // 128 high bytes and a newline make 129 characters: wrapped, before the first (no comma).
    EXPECT_EQ(test::ReadBytes(path), "A\0B,EH36\0\n"s + "\x1A"s + "after Ctrl-Z EH36\n" +
                                         "\n     " + high + "\n" + "end\0\x1A"s);
    ExpectLogAppended({Tail(latin1, "caf\xE9 CAF\xC3\x89\n"), Tail(path, "A\0B,EH36\0\n"s),
                       Tail(path, "\x1A"s + "after Ctrl-Z EH36\n")});
    ExpectBatch(latin1 + "\n" + path + "\n");
    ExpectUntouchedBut({"bytes.sch", "latin1.sch", "VELDRAN.log", "VELDRAN_BATCH.dat"});
}

TEST_F(HostileInput, ALoneCarriageReturnIsACharacterNotALineEnd) {
    const std::string lf = dir.File("lone cr.sch");
    // 70 characters, a CR, one more and the newline: 73, so wrapped; the CR is no line end.
    const std::string seventy = std::string(35, 'x') + "," + std::string(34, 'y');
    test::WriteBytes(lf, "AH36\rAH36\n" + seventy + "\rz\nlast\r");
    const std::string crlf = dir.File("crlf.sch");
    test::WriteBytes(crlf, "AH36\r\r\nkeep\r\n\r");
    const std::string mac = dir.File("cr only.sch");
    test::WriteBytes(mac, "AH36\rline\rAH36\r");
    Remember();

    EXPECT_EQ(Find(lf, "\rAH36\n"), FindResult::Found);
    EXPECT_EQ(Find(crlf, "AH36\r\n"), FindResult::Found); // the CR before the line end stays
    EXPECT_EQ(Find(crlf, "keep\r"), FindResult::NotFound);

    ASSERT_TRUE(ProcessFile(Job(lf), boxes).ok);
    EXPECT_EQ(test::ReadBytes(lf), "EH36\rEH36\n" + std::string(35, 'x') + ",\n     " +
                                       std::string(34, 'y') + "\rz\nlast\r");
    ASSERT_TRUE(ProcessFile(Job(crlf), boxes).ok);
    EXPECT_EQ(test::ReadBytes(crlf), "EH36\r\r\nkeep\r\n\r");
    // A file with CR line ends only is one line to the reader; no LF is added to it.
    const RewriteOutcome r = ProcessFile(Job(mac), boxes);
    EXPECT_EQ(r.replacements, 2u);
    EXPECT_EQ(r.logRecords, 1u);
    EXPECT_EQ(test::ReadBytes(mac), "EH36\rline\rEH36\r");
    ExpectLogAppended(
        {Tail(lf, "EH36\rEH36\n"), Tail(crlf, "EH36\r\n"), Tail(mac, "EH36\rline\rEH36\r")});
    ExpectUntouchedBut(
        {"lone cr.sch", "crlf.sch", "cr only.sch", "VELDRAN.log", "VELDRAN_BATCH.dat"});
}

TEST_F(HostileInput, AFileWithoutAFinalNewlineGetsNone) {
    const std::string a = dir.File("a.sch");
    test::WriteBytes(a, "x\nAH36");
    const std::string b = dir.File("b.sch"); // a last line of 300 characters
    test::WriteBytes(b, "x\n" + std::string(296, 'q') + "AH36");
    const std::string c = dir.File("c.sch");
    test::WriteBytes(c, "A");
    Remember();

    EXPECT_EQ(Find(a, "AH36"), FindResult::Found);
    EXPECT_EQ(Find(b, "AH36"), FindResult::Found);
    EXPECT_EQ(Find(c, "A"), FindResult::Found);

    ASSERT_TRUE(ProcessFile(Job(a), boxes).ok);
    EXPECT_EQ(test::ReadBytes(a), "x\nEH36");
    ASSERT_TRUE(ProcessFile(Job(b), boxes).ok);
    // The first piece of the last line is wrapped; the second, 45 characters long, is not.
    EXPECT_EQ(test::ReadBytes(b), "x\n\n     " + std::string(296, 'q') + "EH36");
    ASSERT_TRUE(ProcessFile(Job(c, "A", "B"), boxes).ok);
    EXPECT_EQ(test::ReadBytes(c), "B");
    // Records of pieces without a newline end with the record's own only.
    ExpectLogAppended({Tail(a, "EH36"), Tail(b, std::string(41, 'q') + "EH36"), Tail(c, "B")});
    ExpectUntouchedBut({"a.sch", "b.sch", "c.sch", "VELDRAN.log", "VELDRAN_BATCH.dat"});
}

TEST_F(HostileInput, AFindTextLongerThanAPieceIsNeverFound) {
    const std::string path = dir.File("long find.sch");
    const std::string line = std::string(600, 'm') + "\n";
    test::WriteBytes(path, line);
    Remember();
    const std::string longer(256, 'm');
    const std::string exact(255, 'm');

    EXPECT_EQ(Find(path, longer), FindResult::NotFound);
    EXPECT_EQ(Find(path, exact), FindResult::Found);

    RewriteOutcome r = ProcessFile(Job(path, longer, "X"), boxes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(r.replacements, 0u);
    // Nothing is replaced, yet the long line is wrapped, piece by piece.
    const std::string wrappedPieces =
        "\n     " + exact + "\n     " + exact + "\n     " + std::string(90, 'm') + "\n";
    EXPECT_EQ(test::ReadBytes(path), wrappedPieces);
    ExpectUntouchedBut({"long find.sch"});

    test::WriteBytes(path, line);
    r = ProcessFile(Job(path, exact, "X"), boxes);
    EXPECT_EQ(r.replacements, 2u); // the two full pieces; the third has 90
    EXPECT_EQ(test::ReadBytes(path), "XX\n     " + std::string(90, 'm') + "\n");
}

TEST_F(HostileInput, AReplacementThatMultipliesTheSize) {
    const std::string path = dir.File("grows.sch");
    const std::size_t lines = 1000;
    WriteRepeated(path, "", std::string(254, 'a') + "\n", lines, "");
    Remember();
    // 100 characters for each one: every line of 255 becomes one of 25,401, then wrapped after
    // the comma at position 69 of "b,b,b,...".
    std::string hundred;
    for (int i = 0; i < 50; ++i)
        hundred += "b,";
    const RewriteOutcome r = ProcessFile(Job(path, "a", hundred), boxes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.replacements, 254u * lines);
    EXPECT_EQ(r.logRecords, lines);
    std::string grown;
    for (int i = 0; i < 254; ++i)
        grown += hundred;
    EXPECT_TRUE(HoldsRepeated(path, "", grown.substr(0, 70) + "\n     " + grown.substr(70) + "\n",
                              lines, ""));
    std::vector<std::string> tails(lines, Tail(path, grown + "\n"));
    ExpectLogAppended(tails);
    EXPECT_EQ(Find(path, "a"), FindResult::NotFound);
    ExpectUntouchedBut({"grows.sch", "VELDRAN.log", "VELDRAN_BATCH.dat"});

    // A replacement that holds the find text doubles each occurrence once; it does not loop.
    test::WriteBytes(path, "aaa\n");
    EXPECT_EQ(ProcessFile(Job(path, "a", "aa"), boxes).replacements, 3u);
    EXPECT_EQ(test::ReadBytes(path), "aaaaaa\n");
}

TEST_F(HostileInput, AnEnvironmentTableWithNamesAndValuesOf10000Characters) {
    using namespace std::string_literals;
    const std::string value(10000, 'v');
    const std::string dirValue = "/t" + std::string(9998, 't');
    const std::string table =
        std::string(10000, 'N') + "=" + value + "\n" +     // a name of no key
        "SB_TEMP" + std::string(9993, 'x') + "=/wrong\n" + // a key and more is no key
        std::string(10000, '-') + "\n" +                   // no '=': not an entry
        "SB_TEMP=" + dirValue + "\n" +                     // long values are taken whole
        "SB_SHIPDATA=" + std::string(10000, '=') + "\n" +  // every further '=' is value
        "SB_SHIPSCH=/s\0\xE9\xFF/\r\n"s +                  // any byte is value
        "SB_PROJECT=" + value + "\x1A" + "SB_TEMP=/after Ctrl-Z\n";
    const std::string path = dir.File("env table \"10000\".txt");
    test::WriteBytes(path, table);
    Remember();

    ::setenv(kEnvTableVariable, path.c_str(), 1);
    EnvironmentSettings s;
    LoadEnvironmentTable(s, '/');
    EXPECT_EQ(s.logDir, dirValue + "/");
    EXPECT_EQ(s.batchDir, std::string(10000, '=') + "/");
    EXPECT_EQ(s.schemeDir, std::string("/s\0\xE9\xFF/", 6));
    EXPECT_EQ(s.projectName, "Project Name: " + value);

    // A table that cannot be read is an empty one: a directory, a missing file, no variable.
    for (const std::string& unreadable : {dir.File("other dir"), dir.File("no such table")}) {
        ::setenv(kEnvTableVariable, unreadable.c_str(), 1);
        EnvironmentSettings empty;
        LoadEnvironmentTable(empty, '/');
        EXPECT_EQ(empty.logDir + empty.batchDir + empty.schemeDir + empty.projectName, "");
    }
    ::unsetenv(kEnvTableVariable);
    EnvironmentSettings none{"kept", "", "", ""};
    LoadEnvironmentTable(none, '/');
    EXPECT_EQ(none.projectName, "kept");
    ExpectUntouchedBut(); // the table is never written
}

TEST_F(HostileInput, PathsWithBlanksQuotesAndNonAsciiLetters) {
    const std::string folder = dir.File("Deck 3 \"aft\" 'port' & $HOME; Sch\xC3\xB6tte");
    fs::create_directory(folder);
    const std::string utf8 = folder + "/Pl\xC3\xA4tte \"\xE2\x84\x96"
                                      "1\" 'x'.sch";
    const std::string latin1 = folder + "/\xC4rger *?.sch"; // not UTF-8: any byte but '/' goes
    test::WriteBytes(utf8, "AH36\n");
    test::WriteBytes(latin1, "AH36 AH36\n");
    Remember();

    EXPECT_EQ(Find(utf8, "AH36"), FindResult::Found);
    EXPECT_EQ(Find(latin1, "AH36"), FindResult::Found);
    RewriteJob job = Job(utf8);
    job.logPath = folder + "/log \"\xC3\xBC\".log";
    job.batchPath = folder + "/batch '\xC3\xBC'.dat";
    ASSERT_TRUE(ProcessFile(job, boxes).ok);
    job.path = latin1;
    ASSERT_TRUE(ProcessFile(job, boxes).ok);

    EXPECT_EQ(test::ReadBytes(utf8), "EH36\n");
    EXPECT_EQ(test::ReadBytes(latin1), "EH36 EH36\n");
    // The records hold the paths as given, byte for byte.
    const std::string log = test::ReadBytes(job.logPath);
    EXPECT_NE(log.find(Tail(utf8, "EH36\n")), std::string::npos) << log;
    EXPECT_NE(log.find(Tail(latin1, "EH36 EH36\n")), std::string::npos) << log;
    EXPECT_EQ(test::ReadBytes(job.batchPath), utf8 + "\n" + latin1 + "\n");
    const std::string rel = fs::relative(folder, dir.Path()).string() + "/";
    ExpectUntouchedBut({rel + fs::path(utf8).filename().string(),
                        rel + fs::path(latin1).filename().string(),
                        rel + fs::path(job.logPath).filename().string(),
                        rel + fs::path(job.batchPath).filename().string()});
}

TEST_F(HostileInput, SymbolicLinksAreFollowedAndBrokenOnesRefused) {
    fs::create_directory(dir.File("real"));
    const std::string target = dir.File("real/t.sch");
    test::WriteBytes(target, "AH36\n");
    fs::create_symlink("real/t.sch", dir.File("link.sch"));
    fs::create_symlink("link.sch", dir.File("link to link.sch"));
    fs::create_symlink("gone.sch", dir.File("dangling.sch"));
    fs::create_symlink("loop b.sch", dir.File("loop a.sch"));
    fs::create_symlink("loop a.sch", dir.File("loop b.sch"));
    Remember();

    EXPECT_EQ(Find(dir.File("link to link.sch"), "AH36"), FindResult::Found);
    EXPECT_EQ(Find(dir.File("dangling.sch"), "AH36"), FindResult::Error);
    EXPECT_EQ(Find(dir.File("loop a.sch"), "AH36"), FindResult::Error);

    // The links stay links; their target is rewritten where it lies.
    ASSERT_TRUE(ProcessFile(Job(dir.File("link to link.sch")), boxes).ok);
    EXPECT_EQ(test::ReadBytes(target), "EH36\n");
    ExpectRefused(ProcessFile(Job(dir.File("dangling.sch")), boxes), "cannot open");
    ExpectRefused(ProcessFile(Job(dir.File("loop a.sch")), boxes), "cannot open");
    EXPECT_FALSE(fs::exists(dir.File("gone.sch"))) << "a broken link's target is not created";
    ExpectLogAppended({Tail(dir.File("link to link.sch"), "EH36\n")});
    ExpectBatch(dir.File("link to link.sch") + "\n");
    ExpectUntouchedBut({"real/t.sch", "VELDRAN.log", "VELDRAN_BATCH.dat"});
}

TEST_F(HostileInput, ADirectoryGivenAsAFile) {
    fs::create_directory(dir.File("folder.sch"));
    test::WriteBytes(dir.File("folder.sch/inside.sch"), "AH36\n");
    fs::create_symlink("folder.sch", dir.File("link to folder.sch"));
    const std::string path = dir.File("plain.sch");
    test::WriteBytes(path, "AH36\n");
    Remember();

    for (const std::string name : {"folder.sch", "link to folder.sch"}) {
        EXPECT_EQ(Find(dir.File(name), "AH36"), FindResult::Error) << name;
        ExpectRefused(ProcessFile(Job(dir.File(name)), boxes), "cannot read");
    }
    ExpectUntouchedBut();

    // A directory where the change log or the batch data file should be: the scheme file is
    // done all the same, and both failures are reported.
    RewriteJob job = Job(path);
    job.logPath = dir.File("other dir");
    job.batchPath = dir.File("folder.sch");
    const RewriteOutcome r = ProcessFile(job, boxes);
    EXPECT_TRUE(r.ok);
    EXPECT_TRUE(r.changed);
    EXPECT_EQ(r.logRecords, 0u);
    EXPECT_FALSE(r.batchRecord);
    EXPECT_NE(r.logError.find("directory"), std::string::npos) << r.logError;
    EXPECT_NE(r.batchError.find("directory"), std::string::npos) << r.batchError;
    EXPECT_EQ(test::ReadBytes(path), "EH36\n");
    ExpectUntouchedBut({"plain.sch"});
}

TEST_F(HostileInput, AFileThatVanishesBeforeOrWhileItIsProcessed) {
    const std::string path = dir.File("vanishing.sch");
    test::WriteBytes(path, "AH36\n");
    fs::remove(path); // listed, then deleted by someone else
    Remember();
    EXPECT_EQ(Find(path, "AH36"), FindResult::Error);
    ExpectRefused(ProcessFile(Job(path), boxes), "cannot open");
    EXPECT_FALSE(fs::exists(path)) << "a vanished file is not created anew";
    ExpectUntouchedBut();

    // Deleted at a step of its rewrite, it stays deleted and nothing is recorded for it.
    for (const WriteStep step : kSteps) {
        test::WriteBytes(path, "AH36\n");
        OtherProgramAt other(step, OtherProgramAt::Does::Delete, path);
        ExpectRefused(ProcessFile(Job(path), boxes, &other), "changed");
        EXPECT_FALSE(fs::exists(path)) << static_cast<int>(step);
        ExpectUntouchedBut();
    }
}

TEST_F(HostileInput, AFileThatGrowsWhileItIsRewrittenIsNotOverwritten) {
    const std::string path = dir.File("growing.sch");
    for (const WriteStep step : kSteps) {
        test::WriteBytes(path, "AH36\n");
        Remember();
        OtherProgramAt other(step, OtherProgramAt::Does::Append, path);
        ExpectRefused(ProcessFile(Job(path), boxes, &other), "changed");
        EXPECT_EQ(test::ReadBytes(path), "AH36\nlate line\n") << static_cast<int>(step);
        ExpectUntouchedBut({"growing.sch"});
    }
}

TEST_F(HostileInput, AFileThatGrowsWhileItIsReadLosesNothing) {
    const std::string path = dir.File("growing.sch");
    WriteRepeated(path, "", "AH36 line of a scheme file that is being written\n", 400000, "");
    const std::string initial = test::ReadBytes(path);
    Remember();

    // Another program appends lines, one open per line as a shell's >> does, until we are done.
    // (One that keeps its descriptor open is the case of the test before.)
    std::atomic<bool> stop{false};
    std::atomic<int> appended{0};
    std::thread writer([&] {
        while (!stop) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
            if (fd >= 0 && ::write(fd, "grown\n", 6) == 6)
                ++appended;
            ::close(fd);
        }
    });
    while (appended == 0)
        std::this_thread::yield();
    const RewriteOutcome r = ProcessFile(Job(path), boxes);
    const FindResult found = Find(path, "grown\n");
    stop = true;
    writer.join();

    std::string grown;
    for (int i = 0; i < appended; ++i)
        grown += "grown\n";
    EXPECT_EQ(found, FindResult::Found); // reads to the end it sees, and ends
    if (r.ok) {
        // Only possible when the writer stood still from the read to the rename; what it
        // appended before is rewritten, what came after lands in the new file.
        std::string expected = initial + grown;
        for (std::size_t at = expected.find("AH36"); at != std::string::npos;
             at = expected.find("AH36", at))
            expected.replace(at, 4, "EH36");
        EXPECT_TRUE(test::ReadBytes(path) == expected) << "appended lines lost";
    } else {
        ExpectRefused(r, "changed");
        EXPECT_TRUE(test::ReadBytes(path) == initial + grown) << "appended lines lost";
        ExpectUntouchedBut({"growing.sch"});
    }
}

TEST_F(HostileInput, AFailureAtEveryStepOfTheAtomicRewriteLeavesTheOriginal) {
    fs::create_directory(dir.File("real"));
    const std::string target = dir.File("real/f.sch");
    const std::string text = "AH36,original\n" + std::string(100, 'o') + "\n";
    test::WriteBytes(target, text);
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real/f.sch", dir.File("f.sch"));
    Remember();
    const ino_t inode = Inode(target);

    for (const WriteStep step : kSteps) {
        for (const int err : {ENOSPC, EIO, EDQUOT, EPERM}) {
            SCOPED_TRACE(testing::Message()
                         << "step " << static_cast<int>(step) << ", " << std::strerror(err));
            FailAt fault(step, err);
            std::string error;
            EXPECT_FALSE(ReplaceFileContent(dir.File("f.sch"), "new\n", error, &fault));
            EXPECT_NE(error.find(std::strerror(err)), std::string::npos) << error;
            FailAt again(step, err);
            ExpectRefused(ProcessFile(Job(dir.File("f.sch")), boxes, &again), std::strerror(err));
            EXPECT_EQ(Inode(target), inode) << "the original is the same file";
            ExpectUntouchedBut(); // byte for byte; no temporary file, no log, no batch data
        }
    }

    // A record that cannot be appended leaves the output file as it was.
    for (const WriteStep step : {WriteStep::CreateTemp, WriteStep::Write}) {
        FailAt fault(step, EIO);
        std::string error;
        EXPECT_FALSE(AppendToFile(LogPath(), "a record\n", error, &fault));
        EXPECT_NE(error.find(std::strerror(EIO)), std::string::npos) << error;
    }
    ExpectUntouchedBut();
}

TEST_F(HostileInput, AFullDiskForTheSchemeFile) {
    SmallDisk disk(dir.File("small disk"), 1 << 20);
    NEED_SMALL_DISK(disk);
    const std::string path = disk.File("full.sch");
    std::string text;
    for (int i = 0; i < 6000; ++i)
        text += "PLATE,AH36," + std::to_string(i) + ",THK=12.0,X=1200.0\n";
    test::WriteBytes(path, text);
    disk.FillLeaving(64 << 10); // far less than a second copy of the file needs
    const std::uint64_t free = disk.Free();
    Remember();

    ExpectRefused(ProcessFile(Job(path), boxes), "No space left");
    EXPECT_TRUE(test::ReadBytes(path) == text);
    EXPECT_EQ(disk.Free(), free) << "the partial temporary file is gone";
    ExpectUntouchedBut();

    // Space made, the same command goes through.
    disk.Unfill();
    const RewriteOutcome r = ProcessFile(Job(path), boxes);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.replacements, 6000u);
}

TEST_F(HostileInput, AFullDiskForTheChangeLogAndTheBatchDataFile) {
    const std::string path = dir.File("s.sch");
    std::string text;
    for (int i = 0; i < 1000; ++i)
        text += "AH36," + std::string(60, 'r') + "\n";
    std::string rewritten = text;
    for (std::size_t at = rewritten.find("AH36"); at != std::string::npos;
         at = rewritten.find("AH36", at))
        rewritten.replace(at, 4, "EH36");

    RewriteJob job = Job(path);
    RewriteOutcome r;
    // A real file system that fills up in the middle of the log's records: the log keeps only
    // whole records, so it is left as it was; the small batch data record still fits.
    SmallDisk disk(dir.File("small disk"), 1 << 20);
    NEED_SMALL_DISK(disk);
    job.logPath = disk.File("VELDRAN.log");
    job.batchPath = disk.File("VELDRAN_BATCH.dat");
    test::WriteBytes(job.logPath, kEarlierLog);
    // A file system hands out whole pages: a batch data file that ends on a page boundary needs
    // a new page for any further record.
    const std::string pageOfBatch =
        kEarlierBatch + std::string(4096 - kEarlierBatch.size() - 1, 'p') + "\n";
    test::WriteBytes(job.batchPath, pageOfBatch);
    disk.FillLeaving(16 << 10); // the log text of this file is about 130 KB
    test::WriteBytes(path, text);
    Remember();
    r = ProcessFile(job, boxes);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.logRecords, 0u);
    EXPECT_NE(r.logError.find("No space left"), std::string::npos) << r.logError;
    EXPECT_TRUE(r.batchRecord) << r.batchError;
    EXPECT_EQ(test::ReadBytes(job.logPath), kEarlierLog);
    EXPECT_EQ(test::ReadBytes(job.batchPath), pageOfBatch + path + "\n");
    ExpectUntouchedBut({"s.sch", "small disk/VELDRAN_BATCH.dat"});

    test::WriteBytes(job.batchPath, pageOfBatch);
    // Not a byte left: the batch data record fails too, and the file keeps what it had.
    disk.FillLeaving(0);
    test::WriteBytes(path, text);
    Remember();
    r = ProcessFile(job, boxes);
    EXPECT_TRUE(r.ok);
    EXPECT_FALSE(r.batchRecord);
    EXPECT_NE(r.batchError.find("No space left"), std::string::npos) << r.batchError;
    ExpectUntouchedBut({"s.sch"});
}

namespace {

// Runs `act` once, at `step` of a rewrite: another program at that moment. `err`, when given,
// then fails the step.
class ActAt : public WriteFaults {
public:
    ActAt(WriteStep step, std::function<void()> act, int err = 0)
        : m_step(step), m_act(std::move(act)), m_err(err) {}
    int Inject(WriteStep step) override {
        if (step != m_step || !m_act)
            return 0;
        std::exchange(m_act, nullptr)();
        return m_err;
    }

private:
    WriteStep m_step;
    std::function<void()> m_act;
    int m_err;
};

// Tells when the code it is given to begins to wait for a lock: Wait() blocks until it has.
class LockWaitSeen : public WriteFaults {
public:
    int Inject(WriteStep step) override {
        if (step == WriteStep::WaitForLock) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_waiting = true;
            m_seen.notify_all();
        }
        return 0;
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_seen.wait(lock, [this] { return m_waiting; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_seen;
    bool m_waiting = false;
};

} // namespace

TEST_F(HostileInput, AnotherProgramsSaveJustBeforeTheSwapIsKept) {
    const std::string path = dir.File("shared.sch");
    const std::string victim = dir.File("victim.txt");
    const std::string theirs = "EH99\n"; // as long as the text veldran read
    struct Case {
        const char* how;
        std::function<void()> save;
    };
    const Case cases[] = {
        {"in place, same size", [&] { test::WriteBytes(path, theirs); }},
        {"in place, appended", [&] { test::WriteBytes(path, "AH36\n" + theirs); }},
        {"as a new file renamed over it",
         [&] {
             test::WriteBytes(path + ".new", theirs);
             fs::rename(path + ".new", path);
         }},
        // Anyone can make a link look like the file: same size, same time (touch -r).
        {"as a link to another file of the same size and time",
         [&] {
             test::WriteBytes(victim, "VICT\n");
             struct stat st {};
             ASSERT_EQ(::stat(path.c_str(), &st), 0);
             const struct timespec times[2] = {st.st_atim, st.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, victim.c_str(), times, 0), 0);
             fs::remove(path);
             fs::create_symlink(victim, path);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        fs::remove(path);
        fs::remove(victim);
        test::WriteBytes(path, "AH36\n");
        Remember();
        ActAt other(WriteStep::Rename, c.save);
        ExpectRefused(ProcessFile(Job(path), boxes, &other), "changed while it was rewritten");
        const std::string after = test::ReadBytes(path); // through the link, if one is there
        if (fs::is_symlink(path))
            EXPECT_EQ(after, "VICT\n") << "the link's target is untouched";
        else
            EXPECT_NE(after.find(theirs), std::string::npos) << after;
        ExpectUntouchedBut({"shared.sch", "victim.txt"}); // no temporary left
    }
}

namespace {

// Every read counts as one within a time stamp tick of the file's last change.
class EveryChangeIsRecent : public ActAt {
public:
    using ActAt::ActAt;
    std::int64_t TimestampTickNs(std::int64_t) override { return std::int64_t{1} << 62; }
};

// The `.veldran-` temporaries in a directory.
std::vector<std::string> Temporaries(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind(".veldran-", 0) == 0)
            found.push_back(entry.path().filename().string());
    return found;
}

} // namespace

TEST_F(HostileInput, AChangeThatSizeAndTimesDoNotShowIsFoundByItsBytes) {
    // Another program, through a descriptor it keeps open, writes as many bytes as were there
    // and puts the modification time back, just before the swap: only the bytes tell.
    const std::string path = dir.File("same size.sch");
    struct Case {
        const char* how;
        std::size_t at;
        std::string bytes;
    };
    const Case cases[] = {
        {"at the start", 0, "XH36"},
        {"at the end", 9, "9\n"},
        {"the same bytes again", 0, "AH36"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        test::WriteBytes(path, "AH36,AH3\n");
        Remember();
        const int fd = ::open(path.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        struct stat st {};
        ASSERT_EQ(::fstat(fd, &st), 0);
        EveryChangeIsRecent other(WriteStep::Rename, [&] {
            ASSERT_EQ(::pwrite(fd, c.bytes.data(), c.bytes.size(), static_cast<off_t>(c.at)),
                      static_cast<ssize_t>(c.bytes.size()));
            const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
            ASSERT_EQ(::futimens(fd, times), 0);
        });
        RewritableFile file;
        std::string error;
        std::string text;
        ASSERT_TRUE(file.Open(path, error) && file.Read(text, error, &other)) << error;
        const bool replaced = file.Replace("EH36,EH3\n", error, &other);
        file.Close();
        ::close(fd);
        std::string theirs = "AH36,AH3\n";
        theirs.replace(c.at, c.bytes.size(), c.bytes);
        if (theirs == "AH36,AH3\n") {
            EXPECT_TRUE(replaced) << "the same bytes are no change: " << error;
            EXPECT_EQ(test::ReadBytes(path), "EH36,EH3\n");
            continue;
        }
        EXPECT_FALSE(replaced);
        EXPECT_EQ(error, "cannot write: the file changed while it was rewritten");
        EXPECT_EQ(test::ReadBytes(path), theirs);
        ExpectUntouchedBut({"same size.sch"});
    }
}

namespace {

// Acts at several steps of a rewrite, each once; `err` fails the step `failing`.
class ActAtSteps : public WriteFaults {
public:
    ActAtSteps(std::map<WriteStep, std::function<void()>> acts, WriteStep failing, int err)
        : m_acts(std::move(acts)), m_failing(failing), m_err(err) {}
    int Inject(WriteStep step) override {
        const auto act = m_acts.find(step);
        if (act != m_acts.end())
            std::exchange(act->second, nullptr)();
        return step == m_failing ? m_err : 0;
    }

private:
    std::map<WriteStep, std::function<void()>> m_acts;
    WriteStep m_failing;
    int m_err;
};

} // namespace

TEST_F(HostileInput, WhatAnotherProgramWritesIntoTheNewFileIsNeverLost) {
    // Between the exchange and its check the new file holds the name: a program that opens the
    // name then writes into the new file; so it does until a file that failed the check is put
    // back. One that kept the old file open writes into that.
    const std::string path = dir.File("shared.sch");
    struct Case {
        const char* how;
        std::string inPlace;      // written over the start of whatever the name holds
        std::string byName;       // appended to whatever the name holds
        std::string late;         // appended by name just before the swap back
        std::string byDescriptor; // appended to the old file through a descriptor kept open
        int err;                  // the check fails as if the system had refused it
        std::string file;         // what the file holds afterwards
        std::string kept;         // the new file kept beside it ("" when none)
    };
    const Case cases[] = {
        {"appended by name, the old file unchanged: the new file stays, with the line", "",
         "name\n", "", "", 0, "EH36\nname\n", ""},
        {"appended by name, the old file appended to: both lines go back, in order", "", "name\n",
         "", "old\n", 0, "AH36\nold\nname\n", ""},
        {"appended by name, the check failing: the line goes back with the old file", "", "name\n",
         "", "", EIO, "AH36\nname\n", ""},
        {"appended by name before and during the swap back: all goes back, in order", "", "name\n",
         "late\n", "old\n", 0, "AH36\nold\nname\nlate\n", ""},
        {"the old file appended to: it goes back, the new file goes", "", "", "", "old\n", 0,
         "AH36\nold\n", ""},
        {"the new file overwritten by name: it is kept beside the old one", "XX", "", "", "old\n",
         0, "AH36\nold\n", "XX36\n"},
        {"the new file overwritten and appended to: kept whole", "XX", "more\n", "", "", EIO,
         "AH36\n", "XX36\nmore\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        test::WriteBytes(path, "AH36\n");
        Remember();
        const int old = ::open(path.c_str(), O_WRONLY | O_APPEND);
        ASSERT_GE(old, 0);
        const auto append = [&](const std::string& line) {
            if (!line.empty())
                std::ofstream(path, std::ios::binary | std::ios::app) << line;
        };
        ActAtSteps other({{WriteStep::Exchanged,
                           [&] {
                               const int named = ::open(path.c_str(), O_WRONLY);
                               ASSERT_GE(named, 0);
                               ASSERT_EQ(::pwrite(named, c.inPlace.data(), c.inPlace.size(), 0),
                                         static_cast<ssize_t>(c.inPlace.size()));
                               ::close(named);
                               append(c.byName);
                               ASSERT_EQ(::write(old, c.byDescriptor.data(), c.byDescriptor.size()),
                                         static_cast<ssize_t>(c.byDescriptor.size()));
                           }},
                          {WriteStep::SwapBack, [&] { append(c.late); }}},
                         WriteStep::Exchanged, c.err);
        std::string error;
        const bool replaced = ReplaceFileContent(path, "EH36\n", error, &other);
        ::close(old);
        EXPECT_EQ(replaced, c.file.rfind("EH36", 0) == 0) << error;
        EXPECT_EQ(test::ReadBytes(path), c.file);
        std::string keptName;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            if (entry.path().filename().string().rfind("shared.sch.conflict-", 0) == 0)
                keptName = entry.path().filename().string();
        if (c.kept.empty()) {
            EXPECT_EQ(keptName, "");
        } else {
            ASSERT_NE(keptName, "");
            EXPECT_EQ(test::ReadBytes(dir.File(keptName)), c.kept);
            EXPECT_NE(error.find("; the new file, with what another program wrote into it "
                                 "meanwhile, is kept as " +
                                 keptName),
                      std::string::npos)
                << error;
            fs::remove(dir.File(keptName));
        }
        if (!replaced && c.err == 0) {
            EXPECT_EQ(error.rfind("cannot write: the file changed while it was rewritten", 0), 0u)
                << error;
        }
        ExpectUntouchedBut({"shared.sch"}); // no temporary left
    }
}

TEST_F(HostileInput, AKilledRunLeavesNoWholeFileThatALaterRunDoesNotRemove) {
    // A run killed at each step, in a directory of its own; then a run on another file there.
    struct Case {
        WriteStep killedAt;
        std::size_t leftAtOnce; // temporaries right after the kill
        std::string file;       // the file, after the kill
        std::size_t leftAfter;  // temporaries after the later run
    };
    const Case cases[] = {
        {WriteStep::CreateTemp, 0, "AH36\n", 0},
        {WriteStep::Write, 0, "AH36\n", 0},
        {WriteStep::Flush, 0, "AH36\n", 0},
        // Named for the exchange: marked as ours, so the later run removes it.
        {WriteStep::Rename, 1, "AH36\n", 0},
        // Exchanged, not yet checked: the old file lies aside and may hold another program's
        // last write, so it is no one's to remove.
        {WriteStep::Exchanged, 1, "EH36\n", 1},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.killedAt));
        const std::string sub = dir.File("killed " + std::to_string(n++));
        fs::create_directory(sub);
        const std::string path = sub + "/k.sch";
        test::WriteBytes(path, "AH36\n");
        test::WriteBytes(sub + "/later.sch", "AH36\n");
        const pid_t child = ::fork();
        if (child == 0) {
            // The file as an earlier run left it: nothing of that run's temporary stays on it.
            std::string error;
            test::WriteBytes(path, "XH36\n");
            ReplaceFileContent(path, "AH36\n", error);
            ActAt kill(c.killedAt, [] { ::raise(SIGKILL); });
            ReplaceFileContent(path, "EH36\n", error, &kill);
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
        EXPECT_EQ(Temporaries(sub).size(), c.leftAtOnce);
        EXPECT_EQ(test::ReadBytes(path), c.file);
        std::string error;
        ASSERT_TRUE(ReplaceFileContent(sub + "/later.sch", "EH36\n", error)) << error;
        const std::vector<std::string> left = Temporaries(sub);
        EXPECT_EQ(left.size(), c.leftAfter);
        EXPECT_EQ(test::ReadBytes(path), c.file);
        if (c.leftAfter == 1 && left.size() == 1) {
            EXPECT_EQ(test::ReadBytes(sub + "/" + left.front()), "AH36\n");
        }
    }
}

TEST_F(HostileInput, AFileThatOnlyLooksLikeALeftoverIsKept) {
    // Built as a killed run leaves its temporary, but for one thing each.
    const auto mark = [](const std::string& path) {
        ASSERT_EQ(::setxattr(path.c_str(), "user.veldran.temporary", "", 0, 0), 0);
    };
    struct Case {
        const char* what;
        std::string name;
        bool marked;
        bool removed;
    };
    const Case cases[] = {
        {"a leftover", ".veldran-Ab12cd", true, true},
        {"a user's file of that name", ".veldran-Ab12cd", false, false},
        {"a shorter name", ".veldran-Ab12c", true, false},
        {"a longer name", ".veldran-Ab12cde", true, false},
        {"another letter", ".veldran-Ab12c-", true, false},
        {"a second name", ".veldran-Ab12cd", true, false},
        {"a live run's", ".veldran-Ab12cd", true, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string sub = dir.File("look " + std::to_string(n++));
        fs::create_directory(sub);
        const std::string path = sub + "/" + c.name;
        test::WriteBytes(path, "whole\n");
        if (c.marked)
            mark(path);
        if (std::string(c.what) == "a second name")
            fs::create_hard_link(path, sub + "/second");
        std::unique_ptr<test::HeldLock> live;
        if (std::string(c.what) == "a live run's")
            live = std::make_unique<test::HeldLock>(path);
        test::WriteBytes(sub + "/later.sch", "AH36\n");
        std::string error;
        ASSERT_TRUE(ReplaceFileContent(sub + "/later.sch", "EH36\n", error)) << error;
        EXPECT_EQ(fs::exists(path), !c.removed);
    }
}

TEST_F(HostileInput, AStopEndsTheWaitForAnotherVeldransLock) {
    const std::string path = dir.File("held.sch");
    test::WriteBytes(path, "AH36\n");
    Remember();
    struct Case {
        const char* what;
        std::string held;
        std::function<std::string(std::atomic<bool>& stop, WriteFaults& waits)> run;
    };
    const Case cases[] = {
        {"the scheme file", path,
         [&](std::atomic<bool>& stop, WriteFaults& waits) {
             RewriteJob job = Job(path);
             job.stop = &stop;
             return ProcessFile(job, boxes, &waits).error;
         }},
        {"the change log", LogPath(),
         [&](std::atomic<bool>& stop, WriteFaults& waits) {
             std::string error;
             EXPECT_FALSE(AppendToFile(LogPath(), "a record\n", error, &waits, &stop));
             return error;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::HeldLock held(c.held);
        std::atomic<bool> stop{false};
        LockWaitSeen waits;
        std::string error;
        std::thread other([&] { error = c.run(stop, waits); });
        waits.Wait();
        stop = true;
        other.join();
        EXPECT_NE(error.find("interrupted"), std::string::npos) << error;
        ExpectUntouchedBut();
    }
}

TEST_F(HostileInput, TwoVeldransOnOneFileTakeTurns) {
    const std::string path = dir.File("both.sch");
    test::WriteBytes(path, "AH36 AH40\n");
    auto first = std::make_unique<RewritableFile>();
    std::string error;
    std::string text;
    ASSERT_TRUE(first->Open(path, error) && first->Read(text, error)) << error;

    RewriteOutcome second;
    LockWaitSeen waits;
    std::thread other([&] { second = ProcessFile(Job(path, "AH40", "EH40"), boxes, &waits); });
    waits.Wait();
    EXPECT_TRUE(first->Replace("EH36 AH40\n", error)) << error;
    first.reset();
    other.join();
    EXPECT_TRUE(second.ok) << second.error;
    EXPECT_EQ(test::ReadBytes(path), "EH36 EH40\n") << "each run's change is kept";
}

TEST_F(HostileInput, AFailedAppendTakesBackOnlyItsOwnRecords) {
    Appender ours;
    std::string error;
    ASSERT_TRUE(ours.Open(LogPath(), error)) << error;
    ASSERT_TRUE(ours.Append(std::string(100000, 'o'), error)) << error; // past one block
    bool theirs = false;
    LockWaitSeen waits;
    std::thread other([&] { theirs = AppendToFile(LogPath(), "theirs\n", error, &waits); });
    waits.Wait();
    ours.Rollback();
    other.join();
    EXPECT_TRUE(theirs) << error;
    EXPECT_EQ(test::ReadBytes(LogPath()), kEarlierLog + "theirs\n");
}

TEST_F(HostileInput, OwnerModeAclAndAttributesTravelWithTheFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file another owner needs root";
    const std::string path = dir.File("meta.sch");
    test::WriteBytes(path, "AH36\n");
    ASSERT_EQ(::chown(path.c_str(), 1234, 5678), 0);
    ASSERT_EQ(::chmod(path.c_str(), 06754), 0);
    const bool xattrs = ::setxattr(path.c_str(), "user.veldran", "kept", 4, 0) == 0;
    // A named user's entry with a mask narrower than the group bits it replaces.
    const bool acl =
        std::system(("setfacl -m u:4321:rw,m::r '" + path + "' 2>/dev/null").c_str()) == 0;
    const auto attributes = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        std::string all = std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) + " mode " +
                          std::to_string(st.st_mode & 07777);
        for (const char* name : {"user.veldran", "system.posix_acl_access"}) {
            char value[256];
            const ssize_t n = ::getxattr(path.c_str(), name, value, sizeof value);
            all += std::string(" ") + name + "=" + (n < 0 ? "none" : std::string(value, n));
        }
        return all;
    };
    const std::string before = attributes();
    const ino_t inode = Inode(path);
    const RewriteOutcome r = ProcessFile(Job(path), boxes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_NE(Inode(path), inode) << "replaced, not written in place";
    EXPECT_EQ(attributes(), before);
    if (!xattrs || !acl)
        GTEST_SKIP() << "this file system has no extended attributes or setfacl is missing";
}

TEST_F(HostileInput, AnOwnerThatCannotBeKeptStopsTheRewrite) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a second user";
    const std::string path = dir.File("someone else's.sch");
    test::WriteBytes(path, "AH36\n");
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    fs::permissions(dir.Path(), fs::perms::all);
    Remember();
    // Another user may write the file but not give a new file root's ownership.
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        const bool user = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        RewriteJob job = Job(path);
        job.logPath = job.batchPath = "/nonexistent/out";
        const RewriteOutcome r = ProcessFile(job, boxes);
        const std::string said = user ? r.error : "cannot become another user";
        (void)!::write(pipe[1], said.data(), said.size());
        ::_exit(0);
    }
    ::close(pipe[1]);
    char said[512];
    const ssize_t n = ::read(pipe[0], said, sizeof said);
    ::close(pipe[0]);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(std::string(said, n > 0 ? n : 0),
              "cannot keep the file's owner: Operation not permitted");
    ExpectUntouchedBut();
}

TEST_F(HostileInput, PipesDevicesAndSocketsAreRefusedWithoutWaiting) {
    const std::string fifo = dir.File("pipe.sch");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string socket = dir.File("socket.sch");
    ASSERT_EQ(std::system(("python3 -c \"import socket; socket.socket(socket.AF_UNIX)"
                           ".bind('" +
                           socket + "')\"")
                              .c_str()),
              0);
    const std::string scheme = dir.File("plain.sch");
    Remember();
    for (const std::string& path :
         {fifo, socket, std::string("/dev/zero"), std::string("/dev/urandom")}) {
        SCOPED_TRACE(path);
        ExpectRefused(ProcessFile(Job(path), boxes), "cannot read: not a regular file");
        EXPECT_EQ(Find(path, "AH36"), FindResult::Error);
        ::setenv(kEnvTableVariable, path.c_str(), 1);
        EnvironmentSettings s;
        EXPECT_EQ(LoadEnvironmentTable(s, '/'), path + ": cannot read: not a regular file");
        EXPECT_EQ(s.logDir, "");
        ::unsetenv(kEnvTableVariable);

        // As the change log or batch data file: the scheme file is done, the record refused.
        test::WriteBytes(scheme, "AH36\n");
        RewriteJob job = Job(scheme);
        job.logPath = job.batchPath = path;
        const RewriteOutcome r = ProcessFile(job, boxes);
        EXPECT_TRUE(r.ok && r.changed) << r.error;
        EXPECT_EQ(r.logError, "cannot open: not a regular file");
        EXPECT_EQ(r.batchError, "cannot open: not a regular file");
        EXPECT_EQ(r.logRecords, 0u);
        ExpectUntouchedBut({"plain.sch"});
    }
}

TEST_F(HostileInput, AnotherUsersLinkInASharedDirectoryIsNotFollowed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "a link of another user needs root to make";
    // /tmp as it is everywhere: world-writable and sticky; the link belongs to someone else.
    const fs::path shared = dir.Path() / "shared tmp";
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const std::string link = (shared / "VELDRAN.log").string();
    fs::create_symlink(dir.File("bystander.sch"), link);
    ASSERT_EQ(::lchown(link.c_str(), 65534, 65534), 0);
    const std::string scheme = dir.File("plain.sch");
    test::WriteBytes(scheme, "AH36\n");
    Remember();
    RewriteJob job = Job(scheme);
    job.logPath = job.batchPath = link;
    const RewriteOutcome r = ProcessFile(job, boxes);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_NE(r.logError.find("symbolic link of another user"), std::string::npos) << r.logError;
    EXPECT_FALSE(r.batchRecord);
    ExpectUntouchedBut({"plain.sch"}); // the link's target above all

    // Root's own link there is followed, as the kernel does.
    ASSERT_EQ(::lchown(link.c_str(), 0, 0), 0);
    std::string error;
    EXPECT_TRUE(AppendToFile(link, "mine\n", error)) << error;
    const std::string target = test::ReadBytes(dir.File("bystander.sch"));
    EXPECT_EQ(target.substr(target.size() - 5), "mine\n");
}

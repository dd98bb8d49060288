// What only Windows does: text-mode line ends, the backslash, the read-only attribute, files that
// another program holds open, and paths in the local code page.
#include "EnvironmentTable.h"
#include "FileRewrite.h"
#include "FindOnly.h"
#include "HeldFileRetry.h"
#include "Platform.h"
#include "SafeFile.h"
#include "TestSupport.h"
#include "UndoJournal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <vector>

using namespace veldran;
namespace fs = std::filesystem;

namespace {

class Boxes : public OptionBoxes {
public:
    bool log = true;
    bool batch = true;
    bool CreateLogTicked() override { return log; }
    bool CreateBatchDataTicked() override { return batch; }
};

RewriteJob Job(const test::TempDir& dir, const std::string& path, std::string find,
               std::string replace) {
    return {path, std::move(find), std::move(replace), dir.File("VELDRAN.log"),
            dir.File("VELDRAN_BATCH.dat")};
}

std::vector<std::string> Entries(const test::TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.Path()))
        names.push_back(e.path().filename().string());
    return names;
}

// A change log with each record's time stamp, checked for its form, replaced by "TS".
std::string MaskTimes(const std::string& log) {
    std::string out;
    std::size_t at = 0;
    while (at < log.size()) {
        const std::string stamp = log.substr(at, 19);
        const std::string form = "dd/dd/dddd dd:dd:dd";
        bool ok = stamp.size() == form.size();
        for (std::size_t i = 0; ok && i < form.size(); ++i)
            ok = form[i] == 'd' ? std::isdigit(static_cast<unsigned char>(stamp[i])) != 0
                                : stamp[i] == form[i];
        if (!ok)
            throw std::runtime_error("no time stamp at byte " + std::to_string(at));
        // A record ends with its own CR LF; a piece's newline, when it has one, comes before.
        std::size_t end = log.find("\r\n", at);
        if (end == std::string::npos)
            throw std::runtime_error("an unfinished record at byte " + std::to_string(at));
        end += 2;
        if (log.compare(end, 2, "\r\n") == 0)
            end += 2;
        out += "TS" + log.substr(at + 19, end - at - 19);
        at = end;
    }
    return out;
}

// Another program, holding a file open until it is released or destroyed.
class HeldFile {
public:
    HeldFile(const std::string& path, const char* share) {
        SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
        HANDLE childIn = nullptr;
        HANDLE childOut = nullptr;
        if (!::CreatePipe(&childIn, &m_in, &inherit, 0) ||
            !::CreatePipe(&m_out, &childOut, &inherit, 0))
            throw std::runtime_error("cannot create pipes");
        ::SetHandleInformation(m_in, HANDLE_FLAG_INHERIT, 0);
        ::SetHandleInformation(m_out, HANDLE_FLAG_INHERIT, 0);

        char self[MAX_PATH];
        const DWORD n = ::GetModuleFileNameA(nullptr, self, MAX_PATH);
        std::string program(self, n);
        program = program.substr(0, program.find_last_of("\\/") + 1) + "veldran_hold_file.exe";
        std::string command = "\"" + program + "\" \"" + path + "\" " + share;

        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childIn;
        startup.hStdOutput = childOut;
        startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
        const BOOL started = ::CreateProcessA(program.c_str(), command.data(), nullptr, nullptr,
                                              TRUE, 0, nullptr, nullptr, &startup, &m_process);
        ::CloseHandle(childIn);
        ::CloseHandle(childOut);
        if (!started)
            throw std::runtime_error("cannot start " + program);
        // The first line says whether the file is held.
        char c = 0;
        DWORD got = 0;
        while (::ReadFile(m_out, &c, 1, &got, nullptr) && got == 1 && c != '\n')
            m_answer.push_back(c);
        if (!m_answer.empty() && m_answer.back() == '\r')
            m_answer.pop_back();
    }
    ~HeldFile() { Release(); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    const std::string& Answer() const { return m_answer; }

    // Closes the other program's input, so it closes the file and ends.
    void Release() {
        if (m_in != nullptr) {
            ::CloseHandle(m_in);
            m_in = nullptr;
        }
        if (m_process.hProcess != nullptr) {
            ::WaitForSingleObject(m_process.hProcess, 10000);
            ::CloseHandle(m_process.hProcess);
            ::CloseHandle(m_process.hThread);
            m_process = {};
        }
        if (m_out != nullptr) {
            ::CloseHandle(m_out);
            m_out = nullptr;
        }
    }

private:
    HANDLE m_in = nullptr;
    HANDLE m_out = nullptr;
    PROCESS_INFORMATION m_process{};
    std::string m_answer;
};

} // namespace

TEST(WindowsLineEnds, TheSchemeFileTheLogAndTheBatchDataGetCrLfForEveryNewline) {
    test::TempDir dir;
    const std::string path = dir.File("lf.sch");
    const std::string keep = "KEEP," + std::string(70, 'k');
    test::WriteBytes(path, "A,1\nmixed\r\n" + keep + "\nlast A");
    Boxes boxes;
    const RewriteOutcome r = ProcessFile(Job(dir, path, "A", "B"), boxes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.written);
    // The continuation of the wrapped line too; the last line keeps having no newline.
    EXPECT_EQ(test::ReadBytes(path),
              "B,1\r\nmixed\r\nKEEP,\r\n     " + std::string(70, 'k') + "\r\nlast B");
    EXPECT_EQ(MaskTimes(test::ReadBytes(dir.File("VELDRAN.log"))),
              "TS -> " + path + " -> B,1\r\n\r\nTS -> " + path + " -> last B\r\n");
    EXPECT_EQ(test::ReadBytes(dir.File("VELDRAN_BATCH.dat")), path + "\r\n");

    // The records of a second file are appended after the first's.
    const std::string second = dir.File("second.sch");
    test::WriteBytes(second, "A\n");
    ASSERT_TRUE(ProcessFile(Job(dir, second, "A", "C"), boxes).ok);
    EXPECT_EQ(test::ReadBytes(dir.File("VELDRAN_BATCH.dat")), path + "\r\n" + second + "\r\n");
    EXPECT_EQ(test::ReadBytes(second), "C\r\n");
}

TEST(WindowsTable, TheTableExamplesGetBackslashes) {
    ASSERT_EQ(kDirSeparator, '\\');
    EnvironmentSettings s;
    ApplyEnvironmentTable("SB_TEMP=C:\\tmp\nSB_SHIPDATA=D:\\data\\\nSB_SHIPSCH=E:\\sch\n"
                          "SB_PROJECT=Alpha\n",
                          s, kDirSeparator);
    EXPECT_EQ(s.logDir, "C:\\tmp\\");
    EXPECT_EQ(s.batchDir, "D:\\data\\");
    EXPECT_EQ(s.schemeDir, "E:\\sch\\");
    EXPECT_EQ(s.projectName, "Project Name: Alpha");

    // A directory never given, or given empty, is the backslash alone; a slash is no separator.
    EnvironmentSettings t;
    ApplyEnvironmentTable("SB_PROJECT=Alpha\r\nSB_SHIPDATA=\r\nSB_TEMP=C:/tmp/\r\n", t,
                          kDirSeparator);
    EXPECT_EQ(t.batchDir, "\\");
    EXPECT_EQ(t.schemeDir, "\\");
    EXPECT_EQ(t.logDir, "C:/tmp/\\");

    // No entry: no backslash at all.
    EnvironmentSettings none;
    ApplyEnvironmentTable("no entry here\r\n\r\n", none, kDirSeparator);
    EXPECT_EQ(none.logDir, "");
    EXPECT_EQ(none.batchDir, "");
    EXPECT_EQ(none.schemeDir, "");
}

TEST(WindowsReadOnly, AReadOnlyFileIsReportedAndLeftAsItIs) {
    test::TempDir dir;
    const std::string path = dir.File("ro.sch");
    test::WriteBytes(path, "A\n");
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    Boxes boxes;
    const RewriteOutcome r = ProcessFile(Job(dir, path, "A", "B"), boxes);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.changed);
    EXPECT_NE(r.error.find("read-only"), std::string::npos) << r.error;
    EXPECT_EQ(test::ReadBytes(path), "A\n");
    EXPECT_NE(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"ro.sch"}) << "no temporary, log or batch";

    // Reading it is still allowed.
    std::string error;
    EXPECT_EQ(FileContains(path, "A", error), FindResult::Found) << error;
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsReadOnly, AReadOnlyLogIsReportedAndTheFileIsStillRewritten) {
    test::TempDir dir;
    const std::string path = dir.File("a.sch");
    test::WriteBytes(path, "A\n");
    test::WriteBytes(dir.File("VELDRAN.log"), "old\r\n");
    ASSERT_TRUE(::SetFileAttributesA(dir.File("VELDRAN.log").c_str(), FILE_ATTRIBUTE_READONLY));
    Boxes boxes;
    const RewriteOutcome r = ProcessFile(Job(dir, path, "A", "B"), boxes);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_NE(r.logError.find("cannot open"), std::string::npos) << r.logError;
    EXPECT_EQ(r.logRecords, 0u);
    EXPECT_EQ(test::ReadBytes(dir.File("VELDRAN.log")), "old\r\n");
    EXPECT_EQ(test::ReadBytes(path), "B\r\n");
    ::SetFileAttributesA(dir.File("VELDRAN.log").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsReplace, TheNewFileKeepsTheAttributesOfTheOld) {
    test::TempDir dir;
    const std::string path = dir.File("hidden.sch");
    test::WriteBytes(path, "A\n");
    const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), attributes));
    std::string error;
    ASSERT_TRUE(ReplaceFileContent(path, "B\r\n", error)) << error;
    EXPECT_EQ(test::ReadBytes(path), "B\r\n");
    EXPECT_EQ(::GetFileAttributesA(path.c_str()) & attributes, attributes);
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"hidden.sch"});
}

TEST(WindowsSharing, AFileHeldWithoutSharingIsReportedAsAnErrorAndLeft) {
    test::TempDir dir;
    const std::string path = dir.File("held.sch");
    test::WriteBytes(path, "A\n");
    HeldFile other(path, "none");
    ASSERT_EQ(other.Answer(), "held");

    Boxes boxes;
    const RewriteOutcome r = ProcessFile(Job(dir, path, "A", "B"), boxes);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.changed);
    EXPECT_NE(r.error.find("cannot open"), std::string::npos) << r.error;
    std::string error;
    EXPECT_EQ(FileContains(path, "A", error), FindResult::Error);
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;

    other.Release();
    EXPECT_EQ(test::ReadBytes(path), "A\n");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"held.sch"}) << "no temporary, log or batch";
    // Once the other program has let go, the file is rewritten as usual.
    EXPECT_TRUE(ProcessFile(Job(dir, path, "A", "B"), boxes).ok);
    EXPECT_EQ(test::ReadBytes(path), "B\r\n");
}

TEST(WindowsSharing, AFileOthersLetOnlyBeReadIsSearchedButNotReplaced) {
    test::TempDir dir;
    const std::string path = dir.File("shared.sch");
    test::WriteBytes(path, "A\n");
    HeldFile other(path, "read");
    ASSERT_EQ(other.Answer(), "held");

    std::string error;
    EXPECT_EQ(FileContains(path, "A", error), FindResult::Found) << error;
    Boxes boxes;
    const RewriteOutcome r = ProcessFile(Job(dir, path, "A", "B"), boxes);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
    EXPECT_EQ(r.logRecords, 0u);

    other.Release();
    EXPECT_EQ(test::ReadBytes(path), "A\n");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"shared.sch"}) << "no temporary, log or batch";
}

TEST(WindowsSharing, ALogHeldWithoutSharingIsReportedAndTheFileStaysDone) {
    test::TempDir dir;
    const std::string path = dir.File("a.sch");
    test::WriteBytes(path, "A\n");
    test::WriteBytes(dir.File("VELDRAN.log"), "old\r\n");
    HeldFile other(dir.File("VELDRAN.log"), "none");
    ASSERT_EQ(other.Answer(), "held");

    Boxes boxes;
    boxes.batch = false;
    const RewriteOutcome r = ProcessFile(Job(dir, path, "A", "B"), boxes);
    EXPECT_TRUE(r.ok) << r.error;
    EXPECT_TRUE(r.changed);
    EXPECT_NE(r.logError.find("cannot open"), std::string::npos) << r.logError;
    EXPECT_EQ(r.logRecords, 0u);
    other.Release();
    EXPECT_EQ(test::ReadBytes(dir.File("VELDRAN.log")), "old\r\n");
    EXPECT_EQ(test::ReadBytes(path), "B\r\n");
}

namespace {

// The path in the local code page, or empty when that code page lacks one of its letters.
std::string LocalCodePage(const std::wstring& wide) {
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0,
                                        nullptr, &lossy);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, out.data(), n, nullptr,
                          &lossy);
    if (lossy || n <= 0)
        return {};
    out.resize(static_cast<std::size_t>(n - 1));
    return out;
}

// The file's bytes, opened by its Unicode name: independent of any code page.
std::string ReadWide(const std::wstring& path) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open the file by its Unicode name");
    std::string bytes(4096, '\0');
    DWORD n = 0;
    const BOOL read = ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
    ::CloseHandle(file);
    if (!read)
        throw std::runtime_error("cannot read the file by its Unicode name");
    bytes.resize(n);
    return bytes;
}

void WriteWide(const std::wstring& path, const std::string& bytes) {
    const HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD n = 0;
    const bool ok =
        file != INVALID_HANDLE_VALUE &&
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
        n == bytes.size();
    if (file != INVALID_HANDLE_VALUE)
        ::CloseHandle(file);
    if (!ok)
        throw std::runtime_error("cannot write the file by its Unicode name");
}

// Another program appends to the file when the log box is first asked.
// Another program that tries to write the file just before the new text is swapped in.
class WritesBeforeTheSwap : public WriteFaults {
public:
    explicit WritesBeforeTheSwap(std::wstring path) : m_path(std::move(path)) {}
    int Inject(WriteStep step) override {
        if (step == WriteStep::Rename) {
            HANDLE file = ::CreateFileW(m_path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
            refused = file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_SHARING_VIOLATION;
            if (file != INVALID_HANDLE_VALUE)
                ::CloseHandle(file);
        }
        return 0;
    }
    bool refused = false;

private:
    std::wstring m_path;
};

} // namespace

TEST(WindowsPaths, ANameWithNonAsciiLettersInTheLocalCodePage) {
    test::TempDir dir;
    // Letters of the Western code page, the euro sign among them, whose bytes there differ
    // from their Unicode values.
    const std::wstring name = L"Pl\u00e4ne \u00e9t\u00e9 \u20ac\u00df.sch";
    const std::string local = LocalCodePage(name);
    if (local.empty())
        GTEST_SKIP() << "the local code page " << ::GetACP() << " lacks these letters";
    const std::wstring widePath = dir.Path().wstring() + L"\\" + name;
    const std::string path = dir.Path().string() + "\\" + local;
    WriteWide(widePath, "A,1\n");

    Boxes boxes;
    const RewriteOutcome r = ProcessFile(Job(dir, path, "A", "B"), boxes);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(ReadWide(widePath), "B,1\r\n");
    // The records hold the path as it was given: bytes of the local code page.
    EXPECT_EQ(MaskTimes(test::ReadBytes(dir.File("VELDRAN.log"))),
              "TS -> " + path + " -> B,1\r\n\r\n");
    EXPECT_EQ(test::ReadBytes(dir.File("VELDRAN_BATCH.dat")), path + "\r\n");
    std::string error;
    EXPECT_EQ(FileContains(path, "B,1", error), FindResult::Found) << error;
    const auto entries = std::distance(fs::directory_iterator(dir.Path()), {});
    EXPECT_EQ(entries, 3) << "the file, its log and its batch data, nothing else";

    // Under such a name too, the system keeps another program from writing the file between
    // the read and the swap.
    WriteWide(widePath, "A\r\n");
    WritesBeforeTheSwap other(widePath);
    EXPECT_TRUE(ProcessFile(Job(dir, path, "A", "B"), boxes, &other).ok);
    EXPECT_TRUE(other.refused);
    EXPECT_EQ(ReadWide(widePath), "B\r\n");
}

namespace {

// Counts the attempts that met a held file; at the first, tells the other program to let go and
// waits until it has, so that the next attempt finds the file free.
class LetGoWhenRetried : public HeldFileWatch {
public:
    explicit LetGoWhenRetried(HeldFile* other) : m_other(other) { g_heldFileWatch.store(this); }
    ~LetGoWhenRetried() override { g_heldFileWatch.store(nullptr); }
    LetGoWhenRetried(const LetGoWhenRetried&) = delete;
    LetGoWhenRetried& operator=(const LetGoWhenRetried&) = delete;
    void Held(int attempt) override {
        attempts = attempt;
        if (m_other != nullptr)
            m_other->Release();
    }
    int attempts = 0;

private:
    HeldFile* m_other;
};

} // namespace

TEST(WindowsHeldFiles, OnlyASharingOrLockViolationIsTriedAgain) {
    struct Case {
        DWORD code;
        int failures;
        bool ok;
        int attempts;
    };
    const Case cases[] = {
        {ERROR_SHARING_VIOLATION, 3, true, 4}, {ERROR_LOCK_VIOLATION, 2, true, 3},
        {ERROR_ACCESS_DENIED, 3, false, 1},    {ERROR_FILE_NOT_FOUND, 3, false, 1},
        {ERROR_PATH_NOT_FOUND, 1, false, 1},
    };
    for (const Case& c : cases) {
        int attempts = 0;
        const bool ok = RetryWhileHeld([&] {
            if (++attempts > c.failures)
                return true;
            ::SetLastError(c.code);
            return false;
        });
        EXPECT_EQ(ok, c.ok) << "error " << c.code;
        EXPECT_EQ(attempts, c.attempts) << "error " << c.code;
        if (!ok) {
            EXPECT_EQ(::GetLastError(), c.code) << "the caller still sees why it failed";
        }
    }
}

TEST(WindowsHeldFiles, AFileHeldOnlyUntilTheRetryBeginsIsDoneAsIfFree) {
    struct Case {
        const char* what;
        const char* held; // which file the other program holds
        std::function<std::string(const test::TempDir&, const std::string&)> act;
    };
    Boxes boxes;
    const Case cases[] = {
        {"replace", "a.sch",
         [&](const test::TempDir& dir, const std::string& path) {
             const RewriteOutcome r = ProcessFile(Job(dir, path, "A", "B"), boxes);
             return r.ok && r.logError.empty() ? test::ReadBytes(path) : r.error + r.logError;
         }},
        {"replace, the log held", "VELDRAN.log",
         [&](const test::TempDir& dir, const std::string& path) {
             const RewriteOutcome r = ProcessFile(Job(dir, path, "A", "B"), boxes);
             return r.ok && r.logError.empty() && r.logRecords == 1 ? test::ReadBytes(path)
                                                                    : r.error + r.logError;
         }},
        {"replace in place", "a.sch",
         [](const test::TempDir&, const std::string& path) {
             std::string error;
             return ReplaceFileContent(path, "B\r\n", error) ? test::ReadBytes(path) : error;
         }},
        {"find", "a.sch",
         [](const test::TempDir&, const std::string& path) {
             std::string error;
             return FileContains(path, "A", error) == FindResult::Found ? std::string("B\r\n")
                                                                        : error;
         }},
        {"read whole", "a.sch",
         [](const test::TempDir&, const std::string& path) {
             std::string data;
             std::string error;
             return ReadWholeFile(path, data, error) && data == "A\n" ? std::string("B\r\n")
                                                                      : error;
         }},
    };
    for (const Case& c : cases) {
        test::TempDir dir;
        const std::string path = dir.File("a.sch");
        test::WriteBytes(path, "A\n");
        test::WriteBytes(dir.File("VELDRAN.log"), "");
        HeldFile other(dir.File(c.held), "none");
        ASSERT_EQ(other.Answer(), "held") << c.what;
        LetGoWhenRetried watch(&other);
        EXPECT_EQ(c.act(dir, path), "B\r\n") << c.what;
        EXPECT_EQ(watch.attempts, 1) << c.what << ": let go at the first retry";
    }
}

TEST(WindowsHeldFiles, AFileHeldForGoodIsReportedBusyAfterSomeAttempts) {
    test::TempDir dir;
    const std::string path = dir.File("held.sch");
    test::WriteBytes(path, "A\n");
    HeldFile other(path, "none");
    ASSERT_EQ(other.Answer(), "held");
    LetGoWhenRetried watch(nullptr);
    Boxes boxes;
    const RewriteOutcome r = ProcessFile(Job(dir, path, "A", "B"), boxes);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("cannot open"), std::string::npos) << r.error;
    EXPECT_GT(watch.attempts, 1) << "tried again before it gave up";
    other.Release();
    EXPECT_EQ(test::ReadBytes(path), "A\n");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"held.sch"});
}

TEST(WindowsHeldFiles, AnUndoThatMeetsAFileHeldUntilTheRetryBeginsRestoresIt) {
    test::TempDir dir;
    const std::string path = dir.File("a.sch");
    const std::string logDir = dir.Path().string() + "\\";
    test::WriteBytes(path, "A\r\n");
    std::string error;
    {
        // The replace ends, and its journal with it, before the undo.
        UndoJournal journal;
        ASSERT_TRUE(journal.Start(logDir, error)) << error;
        RewriteJob job = Job(dir, path, "A", "B");
        job.journal = &journal;
        Boxes boxes;
        ASSERT_TRUE(ProcessFile(job, boxes).ok);
    }
    ASSERT_EQ(test::ReadBytes(path), "B\r\n");

    HeldFile other(path, "none");
    ASSERT_EQ(other.Answer(), "held");
    LetGoWhenRetried watch(&other);
    std::vector<std::string> failed;
    EXPECT_TRUE(UndoLastReplace(
        logDir,
        [&](const std::string& file, const std::string& why) {
            if (!why.empty())
                failed.push_back(file + ": " + why);
        },
        error))
        << error;
    EXPECT_EQ(failed, std::vector<std::string>{});
    EXPECT_EQ(test::ReadBytes(path), "A\r\n");
    EXPECT_EQ(watch.attempts, 1);
}

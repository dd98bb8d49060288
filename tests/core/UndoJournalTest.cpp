// The undo journal: private to its user, trusting nothing it did not make, one run for each
// Replace whoever else runs, and an undo that restores only a file exactly as the Replace left
// it.
#include "UndoJournal.h"
#include "Checksum.h"
#include "Pipeline.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace veldran;
namespace fs = std::filesystem;

namespace {

// A user id no account here has: the other user of a shared log directory.
constexpr uid_t kOtherUser = 12345;

struct Undone {
    bool any = false;
    std::string error;
    std::vector<std::pair<std::string, std::string>> reports; // path, reason
};

class UndoJournalTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(dir.File("log"));
        logDir = dir.File("log") + "/";
        folder = UndoJournal::FolderIn(logDir);
    }

    std::string Scheme(const std::string& name, const std::string& text) const {
        test::WriteBytes(dir.File(name), text);
        return dir.File(name);
    }

    void Replace(const std::vector<std::string>& paths, UndoJournal& journal,
                 WriteFaults* faults = nullptr) const {
        RewriteJob job{"", "AH36", "EH36", dir.File("VELDRAN.log"), dir.File("BATCH.dat")};
        job.journal = &journal;
        FixedOptionBoxes boxes(false, false);
        PipelineSettings settings;
        settings.faults = faults;
        ReplaceFiles(paths, job, boxes, settings,
                     [](std::size_t, const RewriteOutcome& r) { EXPECT_TRUE(r.ok) << r.error; });
    }

    void ReplaceWithJournal(const std::vector<std::string>& paths) const {
        UndoJournal journal;
        std::string error;
        ASSERT_TRUE(journal.Start(logDir, error)) << error;
        Replace(paths, journal);
    }

    Undone Undo() const {
        Undone out;
        out.any = UndoLastReplace(
            logDir,
            [&](const std::string& path, const std::string& why) {
                out.reports.emplace_back(path, why);
            },
            out.error);
        return out;
    }

    // A journal as another hand might leave it: the user's folder, run 1, its index.
    std::string PlantRun(const std::string& index) const {
        fs::create_directories(folder + "/1");
        fs::permissions(folder, fs::perms::owner_all);
        fs::permissions(folder + "/1", fs::perms::owner_all);
        test::WriteBytes(folder + "/1/index", index);
        return folder + "/1";
    }

    // An index line that matches the file at `path` as it is now.
    static std::string LineFor(const std::string& path, std::size_t number) {
        RewritableFile file;
        std::string bytes;
        std::string error;
        EXPECT_TRUE(file.Open(path, error) && file.Read(bytes, error)) << error;
        JournalEntry entry;
        entry.number = number;
        entry.path = path;
        entry.absolute = path;
        entry.replaced = file.ReadIdentity();
        entry.checksum = ContentChecksum(bytes);
        return JournalLine(entry);
    }

    static void Chown(const std::string& path, uid_t uid) {
        ASSERT_EQ(::lchown(path.c_str(), uid, static_cast<gid_t>(-1)), 0) << path;
    }

    test::TempDir dir;
    std::string logDir;
    std::string folder;
};

} // namespace

TEST(JournalLine, ReadsBackWhatItWritesAndRefusesAnythingElse) {
    JournalEntry entry;
    entry.number = 7;
    entry.path = "a%b\tc\nd\re.sch";
    entry.absolute = "/x/" + entry.path;
    entry.replaced = {1, 2, 3, -4, 0};
    entry.checksum = 0xfedcba9876543210ULL;
    std::string line = JournalLine(entry);
    ASSERT_EQ(line.back(), '\n');
    line.pop_back();
    EXPECT_EQ(line.find('\n'), std::string::npos);
    JournalEntry back;
    ASSERT_TRUE(ParseJournalLine(line, back));
    EXPECT_EQ(back.number, entry.number);
    EXPECT_EQ(back.path, entry.path);
    EXPECT_EQ(back.absolute, entry.absolute);
    EXPECT_EQ(back.replaced, entry.replaced);
    EXPECT_EQ(back.checksum, entry.checksum);

    const char* const damaged[] = {
        "1 2 3 4 5 00000000000000ff\t%zz\t/a",  // not an escape
        "1 2 3 4 5 00000000000000ff\ta%4\t/a",  // an escape cut short
        "1 2 3 4 5 00000000000000ff\ta\t/a%",   // at the very end
        "1 2 3 4 5 00000000000000ff\ta\t/a\tb", // a field too many
        "1 2 3 4 5\ta\t/a",                     // no checksum
        "1 2 3 4 5 zz\ta\t/a",                  // a checksum that is no number
        "0 2 3 4 5 00000000000000ff\ta\t/a",    // there is no original 0
        "1 2 3 4 5 00000000000000ff 9\ta\t/a",  // a number too many
        "1 2 3 4 5 00000000000000ff\ta\t",      // no absolute path
        "",
    };
    for (const char* text : damaged) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseJournalLine(text, back));
    }
}

TEST(ContentChecksum, TellsApartEveryOneByteChangeOfShortAndLongTexts) {
    for (const std::size_t size : {0u, 1u, 7u, 8u, 9u, 31u, 32u, 33u, 100u, 4096u}) {
        std::string text(size, 'a');
        for (std::size_t i = 0; i < size; ++i)
            text[i] = static_cast<char>('a' + i % 26);
        const std::uint64_t sum = ContentChecksum(text);
        EXPECT_EQ(ContentChecksum(std::string(text)), sum);
        EXPECT_NE(ContentChecksum(text + '\0'), sum) << size;
        for (std::size_t i = 0; i < size; ++i) {
            std::string edited = text;
            edited[i] ^= 1;
            EXPECT_NE(ContentChecksum(edited), sum) << size << " at " << i;
        }
    }
}

TEST_F(UndoJournalTest, HostileJournalsAreNeverTrusted) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "playing another user needs root";
    const std::string victim = Scheme("victim.sch", "EH36 victim's own\n");
    const std::string others = Scheme("others.sch", "EH36 other's own\n");
    const std::string secret = Scheme("secret.txt", "root only\n");
    fs::permissions(secret, fs::perms::owner_read);
    Chown(others, kOtherUser);
    struct Case {
        const char* what;
        std::function<void()> plant;
        std::string error;    // why undo refuses the journal; empty: it reads it
        std::string reported; // what it says of the file it names
    };
    const std::string planted = "planted\n";
    const Case cases[] = {
        {"a journal folder another user made, naming the victim's file",
         [&] {
             const std::string run = PlantRun(LineFor(victim, 1));
             test::WriteBytes(run + "/1", planted);
             Chown(run + "/1", kOtherUser);
             Chown(run + "/index", kOtherUser);
             Chown(run, kOtherUser);
             Chown(folder, kOtherUser);
         },
         "cannot read the undo journal: " + folder + " belongs to another user", ""},
        {"a journal folder open to other users",
         [&] {
             test::WriteBytes(PlantRun(LineFor(victim, 1)) + "/1", planted);
             fs::permissions(folder, fs::perms::all);
         },
         "cannot read the undo journal: " + folder + " is open to other users", ""},
        {"a journal folder that is a symbolic link",
         [&] {
             test::WriteBytes(PlantRun(LineFor(victim, 1)) + "/1", planted);
             fs::rename(folder, folder + ".real");
             fs::create_directory_symlink(folder + ".real", folder);
         },
         "cannot read the undo journal: " + folder + " is not a folder", ""},
        {"a run folder another user made",
         [&] {
             const std::string run = PlantRun(LineFor(victim, 1));
             test::WriteBytes(run + "/1", planted);
             Chown(run, kOtherUser);
         },
         "cannot read the undo journal: " + folder + "/1 belongs to another user", ""},
        {"an index of another user",
         [&] {
             const std::string run = PlantRun(LineFor(victim, 1));
             test::WriteBytes(run + "/1", planted);
             Chown(run + "/index", kOtherUser);
         },
         "cannot read the undo journal: belongs to another user", ""},
        {"an index that is a symbolic link",
         [&] {
             const std::string run = PlantRun("");
             test::WriteBytes(run + "/1", planted);
             test::WriteBytes(run + "/elsewhere", LineFor(victim, 1));
             fs::remove(run + "/index");
             fs::create_symlink(run + "/elsewhere", run + "/index");
         },
         "cannot read the undo journal: not a regular file", ""},
        {"an original that is a symbolic link to a root-only file",
         [&] {
             const std::string run = PlantRun(LineFor(others, 1));
             fs::create_symlink(secret, run + "/1");
         },
         "", "cannot read the kept original: not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder);
        fs::remove_all(folder + ".real");
        c.plant();
        const Undone undone = Undo();
        EXPECT_EQ(undone.any, c.error.empty());
        if (!c.error.empty()) {
            EXPECT_EQ(undone.error, c.error);
            EXPECT_TRUE(undone.reports.empty());
        } else {
            ASSERT_EQ(undone.reports.size(), 1u);
            EXPECT_EQ(undone.reports[0].second, c.reported);
        }
        EXPECT_EQ(test::ReadBytes(victim), "EH36 victim's own\n");
        EXPECT_EQ(test::ReadBytes(others), "EH36 other's own\n");
        if (c.error.rfind("cannot read the undo journal: " + folder + " ", 0) == 0) {
            // Nor does a Replace write into it.
            UndoJournal journal;
            std::string error;
            EXPECT_FALSE(journal.Start(logDir, error));
            EXPECT_EQ(error,
                      "cannot start the undo journal: " +
                          c.error.substr(std::string("cannot read the undo journal: ").size()));
        }
    }
}

TEST_F(UndoJournalTest, ADamagedIndexLineIsNamedAndTheRestIsUndone) {
    const std::string a = Scheme("a.sch", "AH36\n");
    ReplaceWithJournal({a});
    const std::string index = folder + "/1/index";
    std::string text = test::ReadBytes(index);
    test::WriteBytes(index, "1 1 1 1 1 0000000000000000\t%zz\t/nowhere\n" + text +
                                "2 1 1 1 1 0000000000000000\ttorn by a kill");
    const Undone undone = Undo();
    EXPECT_TRUE(undone.any);
    ASSERT_EQ(undone.reports.size(), 2u);
    EXPECT_EQ(undone.reports[0],
              std::make_pair(index, std::string("an entry of the undo journal cannot be read; its "
                                                "file is not restored")));
    EXPECT_EQ(undone.reports[1], std::make_pair(a, std::string()));
    EXPECT_EQ(test::ReadBytes(a), "AH36\n");
}

TEST_F(UndoJournalTest, TheJournalIsOpenToItsUserOnlyWhateverTheUmask) {
    const mode_t was = ::umask(0);
    const std::string a = Scheme("a.sch", "AH36\n");
    ReplaceWithJournal({a});
    ::umask(was);
    struct stat st {};
    for (const std::string& path : {folder, folder + "/1", folder + "/1/index"}) {
        ASSERT_EQ(::lstat(path.c_str(), &st), 0) << path;
        EXPECT_EQ(st.st_mode & 077, 0u) << path;
        EXPECT_EQ(st.st_uid, ::geteuid()) << path;
    }
}

TEST_F(UndoJournalTest, ACopyOnAnotherFileSystemIsTheUsersOwnWithNoSetIdBit) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file another owner needs root";
    // A setgid log directory of another group: what is made in it takes that group.
    ASSERT_EQ(::chown(dir.File("log").c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(::chmod(dir.File("log").c_str(), 02777), 0);
    // And a default ACL that lets the other user read whatever is made in it.
    const bool defaultAcl = std::system(("setfacl -d -m u:" + std::to_string(kOtherUser) +
                                         ":rwx,m::rwx '" + dir.File("log") + "' 2>/dev/null")
                                            .c_str()) == 0;
    const std::string tool = Scheme("tool.sch", "AH36\n");
    ASSERT_EQ(::chown(tool.c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(::chmod(tool.c_str(), 06755), 0);
    {
        UndoJournal journal;
        journal.KeepCopies();
        std::string error;
        ASSERT_TRUE(journal.Start(logDir, error)) << error;
        Replace({tool}, journal);
    }
    struct stat copy {};
    struct stat now {};
    ASSERT_EQ(::lstat((folder + "/1/1").c_str(), &copy), 0);
    ASSERT_EQ(::stat(tool.c_str(), &now), 0);
    EXPECT_NE(copy.st_ino, now.st_ino);
    EXPECT_EQ(copy.st_uid, ::geteuid());
    EXPECT_EQ(copy.st_mode & 07777, 0600u);
    EXPECT_EQ(test::ReadBytes(folder + "/1/1"), "AH36\n");
    if (defaultAcl) {
        // Nothing inherited gives the other user a way in: no access ACL on the copy.
        EXPECT_LT(::getxattr((folder + "/1/1").c_str(), "system.posix_acl_access", nullptr, 0), 0);
    }
    // Undo takes the owner and mode from the file it restores, not from the copy.
    const Undone undone = Undo();
    ASSERT_EQ(undone.reports.size(), 1u);
    EXPECT_EQ(undone.reports[0].second, "");
    EXPECT_EQ(test::ReadBytes(tool), "AH36\n");
    ASSERT_EQ(::stat(tool.c_str(), &now), 0);
    EXPECT_EQ(now.st_uid, kOtherUser);
    EXPECT_EQ(now.st_mode & 07777, 06755u);
}

TEST_F(UndoJournalTest, OnlyAFileExactlyAsTheReplaceLeftItIsRestored) {
    // Each case acts on the file "a.sch" ("AH36 plate\n" replaced by "EH36 plate\n").
    const auto setTime = [](const std::string& path, const struct stat& was) {
        const struct timespec times[2] = {was.st_atim, was.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    };
    struct Case {
        const char* what;
        std::function<void(const std::string& path)> act;
        std::string reason;   // empty: restored
        std::string expected; // the file's bytes after undo
    };
    const Case cases[] = {
        {"left as it was", [](const std::string&) {}, "", "AH36 plate\n"},
        // A file system with whole-second time stamps shows no change for an edit in the same
        // second: the time is put back by hand here.
        {"edited in place, same size, same time stamp",
         [&](const std::string& path) {
             struct stat was {};
             ASSERT_EQ(::stat(path.c_str(), &was), 0);
             const int fd = ::open(path.c_str(), O_WRONLY);
             ASSERT_GE(fd, 0);
             ASSERT_EQ(::pwrite(fd, "XH36", 4, 0), 4);
             ::close(fd);
             setTime(path, was);
         },
         "changed since the replace; not restored", "XH36 plate\n"},
        // The system gave the new file the old one's inode: shown by writing the new file's
        // identity into the index, as the reused number would make it.
        {"deleted and written anew under the same inode, size and time",
         [&](const std::string& path) {
             struct stat was {};
             ASSERT_EQ(::stat(path.c_str(), &was), 0);
             fs::remove(path);
             test::WriteBytes(path, "NEW! plate\n");
             setTime(path, was);
             struct stat now {};
             ASSERT_EQ(::stat(path.c_str(), &now), 0);
             const std::string index =
                 UndoJournal::FolderIn(fs::path(path).parent_path().string() + "/log/") +
                 "/1/index";
             std::string text = test::ReadBytes(index);
             const std::string oldIno = " " + std::to_string(was.st_ino) + " ";
             const std::size_t at = text.find(oldIno);
             ASSERT_NE(at, std::string::npos);
             text.replace(at, oldIno.size(), " " + std::to_string(now.st_ino) + " ");
             test::WriteBytes(index, text);
         },
         "changed since the replace; not restored", "NEW! plate\n"},
        {"given back its old text by hand",
         [](const std::string& path) { test::WriteBytes(path, "AH36 plate\n"); }, "",
         "AH36 plate\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder);
        const std::string a = Scheme("a.sch", "AH36 plate\n");
        ReplaceWithJournal({a});
        ASSERT_EQ(test::ReadBytes(a), "EH36 plate\n");
        c.act(a);
        const Undone undone = Undo();
        ASSERT_EQ(undone.reports.size(), 1u);
        EXPECT_EQ(undone.reports[0].second, c.reason);
        EXPECT_EQ(test::ReadBytes(a), c.expected);
    }
}

TEST_F(UndoJournalTest, AReplaceKilledJustBeforeItsSwapLeavesAFileThatUndoKnowsAsTheOriginal) {
    const std::string a = Scheme("a.sch", "AH36 first\n");
    const std::string b = Scheme("b.sch", "AH36 second\n");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The second file's swap is where the kill comes: the first is swapped in by then.
        int swaps = 0;
        struct KillAtSecond : WriteFaults {
            int* swaps;
            int Inject(WriteStep step) override {
                if (step == WriteStep::Rename && ++*swaps == 2)
                    ::_exit(0);
                return 0;
            }
        } faults;
        faults.swaps = &swaps;
        UndoJournal journal;
        std::string error;
        if (!journal.Start(logDir, error))
            ::_exit(1);
        RewriteJob job{"", "AH36", "EH36", dir.File("VELDRAN.log"), dir.File("BATCH.dat")};
        job.journal = &journal;
        FixedOptionBoxes boxes(false, false);
        PipelineSettings settings;
        settings.jobs = 1;
        settings.faults = &faults;
        ReplaceFiles({a, b}, job, boxes, settings, [](std::size_t, const RewriteOutcome&) {});
        ::_exit(2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ASSERT_EQ(test::ReadBytes(a), "EH36 first\n");
    ASSERT_EQ(test::ReadBytes(b), "AH36 second\n");
    // The entry of the file about to be swapped was on disk before the swap.
    EXPECT_NE(test::ReadBytes(folder + "/1/index").find(b), std::string::npos);

    const Undone undone = Undo();
    EXPECT_TRUE(undone.any);
    ASSERT_EQ(undone.reports.size(), 2u);
    EXPECT_EQ(undone.reports[0], std::make_pair(a, std::string()));
    EXPECT_EQ(undone.reports[1], std::make_pair(b, std::string()));
    EXPECT_EQ(test::ReadBytes(a), "AH36 first\n");
    EXPECT_EQ(test::ReadBytes(b), "AH36 second\n");
}

TEST_F(UndoJournalTest, TwoReplacesAtOnceKeepTwoJournalsAndUndoTakesTheNewest) {
    const std::string a = Scheme("a.sch", "AH36 a\n");
    const std::string b = Scheme("b.sch", "AH36 b\n");
    const std::string c = Scheme("c.sch", "AH36 c\n");
    UndoJournal first;
    std::string error;
    ASSERT_TRUE(first.Start(logDir, error)) << error;
    Replace({a}, first);
    {
        // Many Replaces start while the first still runs: old runs go, a live one stays.
        for (int i = 0; i < 8; ++i) {
            UndoJournal other;
            ASSERT_TRUE(other.Start(logDir, error)) << error;
        }
        UndoJournal second;
        ASSERT_TRUE(second.Start(logDir, error)) << error;
        Replace({b}, second);
    }
    Replace({c}, first); // the first goes on after the others started
    EXPECT_TRUE(fs::exists(folder + "/1/1"));
    EXPECT_TRUE(fs::exists(folder + "/1/2"));
    EXPECT_FALSE(fs::exists(folder + "/2")) << "an old run that no one held is removed";

    // The newest run is the second Replace's: its file only.
    Undone undone = Undo();
    ASSERT_EQ(undone.reports.size(), 1u);
    EXPECT_EQ(undone.reports[0], std::make_pair(b, std::string()));
    EXPECT_EQ(test::ReadBytes(b), "AH36 b\n");
    EXPECT_EQ(test::ReadBytes(a), "EH36 a\n");
    EXPECT_EQ(test::ReadBytes(c), "EH36 c\n");
    undone = Undo();
    EXPECT_FALSE(undone.any);
    EXPECT_EQ(undone.error, "nothing to undo");
}

TEST_F(UndoJournalTest, AnUndoWhileTheReplaceStillRunsWaitsForNothingAndSaysSo) {
    const std::string a = Scheme("a.sch", "AH36\n");
    UndoJournal journal;
    std::string error;
    ASSERT_TRUE(journal.Start(logDir, error)) << error;
    Replace({a}, journal);
    const Undone undone = Undo();
    EXPECT_FALSE(undone.any);
    EXPECT_EQ(undone.error, "the last replace is still running");
    EXPECT_EQ(test::ReadBytes(a), "EH36\n");
}

TEST_F(UndoJournalTest, AJournalThatStoppedEarlySaysSoAtUndo) {
    const std::string a = Scheme("a.sch", "AH36 a\n");
    const std::string b = Scheme("b.sch", "AH36 b\n");
    const std::string c = Scheme("c.sch", "AH36 c\n");
    {
        UndoJournal journal;
        std::string error;
        ASSERT_TRUE(journal.Start(logDir, error)) << error;
        // The second original cannot be kept: its name is taken, as by a full disk's failure.
        test::WriteBytes(folder + "/1/2", "in the way");
        RewriteJob job{"", "AH36", "EH36", dir.File("VELDRAN.log"), dir.File("BATCH.dat")};
        job.journal = &journal;
        FixedOptionBoxes boxes(false, false);
        PipelineSettings settings;
        settings.jobs = 1;
        std::vector<std::string> errors;
        ReplaceFiles({a, b, c}, job, boxes, settings, [&](std::size_t, const RewriteOutcome& r) {
            errors.push_back(r.journalError);
        });
        EXPECT_EQ(errors, (std::vector<std::string>{
                              "", "cannot keep the original for undo: File exists", ""}));
    }
    const Undone undone = Undo();
    EXPECT_TRUE(undone.any);
    EXPECT_EQ(undone.error, "the undo journal of that replace stopped early: the files it "
                            "changed after that stay changed");
    ASSERT_EQ(undone.reports.size(), 1u);
    EXPECT_EQ(undone.reports[0], std::make_pair(a, std::string()));
    EXPECT_EQ(test::ReadBytes(b), "EH36 b\n");
}

namespace {

// Refuses the swap of the `which`-th file swapped in.
class RefuseSwap : public WriteFaults {
public:
    explicit RefuseSwap(int which) : m_which(which) {}
    int Inject(WriteStep step) override {
        return step == WriteStep::Rename && ++m_swaps == m_which ? EIO : 0;
    }

private:
    int m_which;
    int m_swaps = 0;
};

} // namespace

TEST_F(UndoJournalTest, AFileRefusedAtItsSwapKeepsNothingToUndo) {
    const std::string a = Scheme("a.sch", "AH36 a\n");
    const std::string b = Scheme("b.sch", "AH36 b\n");
    {
        UndoJournal journal;
        std::string error;
        ASSERT_TRUE(journal.Start(logDir, error)) << error;
        RefuseSwap faults(2);
        RewriteJob job{"", "AH36", "EH36", dir.File("VELDRAN.log"), dir.File("BATCH.dat")};
        job.journal = &journal;
        FixedOptionBoxes boxes(false, false);
        PipelineSettings settings;
        settings.jobs = 1;
        settings.faults = &faults;
        ReplaceFiles({a, b}, job, boxes, settings, [](std::size_t, const RewriteOutcome&) {});
    }
    ASSERT_EQ(test::ReadBytes(b), "AH36 b\n");
    Undone undone = Undo();
    ASSERT_EQ(undone.reports.size(), 1u);
    EXPECT_EQ(undone.reports[0], std::make_pair(a, std::string()));
    undone = Undo();
    EXPECT_FALSE(undone.any);
    EXPECT_EQ(undone.error, "nothing to undo");
}

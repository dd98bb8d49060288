// POSIX steps of the safe file access. On Linux: O_TMPFILE, renameat2 with RENAME_EXCHANGE,
// open file description locks and extended attributes; elsewhere the plainer fallbacks.
#include "FilePrimitives.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <random>
#include <set>
#include <sys/mman.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <utility>
#include <vector>
#ifdef __linux__
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#endif

namespace veldran {

namespace {

std::string Reason(const char* what, int err) {
    return std::string(what) + ": " + std::strerror(err);
}

constexpr const char* kNotRegular = "cannot read: not a regular file";

int Fd(NativeHandle h) {
    return static_cast<int>(h);
}

void CloseIfOpen(NativeHandle& h) {
    if (h != kNoHandle)
        ::close(Fd(h));
    h = kNoHandle;
}

bool WriteAll(int fd, std::string_view data, int& err) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// A scheme file or table must be a regular file: a pipe or a device has no end to wait for and
// nothing to write back to.
bool IsReadable(const struct stat& st, std::string& error) {
    if (S_ISDIR(st.st_mode)) {
        error = Reason("cannot read", EISDIR);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = kNotRegular;
        return false;
    }
    return true;
}

bool WriteWhole(NativeHandle file, std::string_view data, std::string& error) {
    int err = 0;
    if (WriteAll(Fd(file), data, err))
        return true;
    error = Reason("cannot write", err);
    return false;
}

std::int64_t Ns(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Takes the blocking flag off a descriptor opened without it (so a FIFO could not hang the open).
void Blocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
}

// A whole-file lock on the open file description: released when the descriptor closes, shared
// by nothing else in this process. A read-only descriptor can only take a read lock, which still
// waits for a writer.
int LockWhole(int fd, bool wait, bool write = true) {
#ifdef F_OFD_SETLKW
    struct flock lock {};
    lock.l_type = write ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0 ? 0 : errno;
#else
    (void)fd;
    (void)wait;
    (void)write;
    return 0;
#endif
}

// Takes a whole-file lock, tried again and again rather than waited for in the kernel: a stop
// must end the wait on whichever thread waits. 0 once locked; EAGAIN when it is held and not to
// be waited for; EINTR when stopped; another errno where the file system refuses locks.
int TakeLock(int fd, bool write, bool wait, const std::atomic<bool>* stop) {
    for (;;) {
        const int err = LockWhole(fd, false, write);
        if (err != EAGAIN && err != EACCES && err != EINTR)
            return err;
        if (stop != nullptr && *stop)
            return EINTR;
        if (!wait)
            return EAGAIN;
        // How often a waiting run looks again: short beside a rewrite, long beside a system call.
        struct timespec pause {
            0, 10'000'000
        };
        ::nanosleep(&pause, nullptr);
    }
}

constexpr char kTemporaryPrefix[] = ".veldran-";
constexpr char kNameDigits[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr std::size_t kTemporaryDigits = 6;
// Set on a named new file while it lives: tells veldran's own temporaries from a user's file of
// the same name. Taken off once the file holds the scheme file's name.
constexpr char kTemporaryMark[] = "user.veldran.temporary";

// A name for a new file in `dir` that no entry has now: `prefix` and random letters.
std::string FreshName(int dir, const std::string& prefix = kTemporaryPrefix) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    for (;;) {
        // A short fixed name, so that a file name near the length limit still gets its temporary.
        std::string name = prefix;
        for (std::size_t i = 0; i < kTemporaryDigits; ++i)
            name.push_back(kNameDigits[random() % (sizeof kNameDigits - 1)]);
        struct stat st {};
        if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT)
            return name;
    }
}

// A named temporary is marked as ours and locked while it lives, so that a later run can tell
// what a killed one left from a live run's file and from a user's. Neither may fail the rewrite:
// an unmarked leftover is only never removed.
void MarkAndLock(int fd) {
#ifdef __linux__
    (void)::fsetxattr(fd, kTemporaryMark, "", 0, 0);
#endif
    (void)LockWhole(fd, false);
}

void Unmark(int fd) {
#ifdef __linux__
    (void)::fremovexattr(fd, kTemporaryMark);
#else
    (void)fd;
#endif
}

bool IsTemporaryName(const char* name) {
    const std::size_t prefix = sizeof kTemporaryPrefix - 1;
    if (std::strncmp(name, kTemporaryPrefix, prefix) != 0 ||
        std::strlen(name) != prefix + kTemporaryDigits)
        return false;
    for (const char* c = name + prefix; *c != '\0'; ++c)
        if (std::strchr(kNameDigits, *c) == nullptr)
            return false;
    return true;
}

// Removes `name` from `dir` if it is what a killed veldran left: a temporary's name, a regular
// file of this user with no other name, marked as ours, and not locked by a live run. Anything
// else, a user's file above all, stays.
void RemoveIfLeftover(int dir, const char* name) {
#if defined(__linux__) && defined(F_OFD_SETLK)
    struct stat named {};
    if (!IsTemporaryName(name) || ::fstatat(dir, name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(named.st_mode) || named.st_uid != ::geteuid() || named.st_nlink != 1)
        return;
    const int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat held {};
    struct stat again {};
    // A read lock is refused while a live run holds its write lock on the file.
    if (::fstat(fd, &held) == 0 && held.st_dev == named.st_dev && held.st_ino == named.st_ino &&
        ::fgetxattr(fd, kTemporaryMark, nullptr, 0) >= 0 && LockWhole(fd, false, false) == 0 &&
        ::fstatat(dir, name, &again, AT_SYMLINK_NOFOLLOW) == 0 && again.st_ino == held.st_ino &&
        again.st_dev == held.st_dev)
        ::unlinkat(dir, name, 0);
    ::close(fd);
#else
    (void)dir;
    (void)name; // without locks a live run's temporary cannot be told from a leftover
#endif
}

// Looks for leftovers once per directory and process: a scan of the directory costs as much as
// the run's own work in it when the directory is large.
void SweepLeftovers(int dir) {
    static std::mutex mutex;
    // A directory by device, inode and birth time: a removed directory's inode may come back.
    static std::set<std::tuple<dev_t, ino_t, std::int64_t>> swept;
    struct stat st {};
    if (::fstat(dir, &st) != 0)
        return;
    std::int64_t born = 0;
#if defined(__linux__) && defined(STATX_BTIME)
    struct statx sx {};
    if (::statx(dir, "", AT_EMPTY_PATH, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME))
        born =
            static_cast<std::int64_t>(sx.stx_btime.tv_sec) * 1'000'000'000 + sx.stx_btime.tv_nsec;
#endif
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert({st.st_dev, st.st_ino, born}).second)
            return;
    }
    const int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* list = fd < 0 ? nullptr : ::fdopendir(fd);
    if (list == nullptr) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    while (const struct dirent* entry = ::readdir(list))
        if (IsTemporaryName(entry->d_name))
            RemoveIfLeftover(dir, entry->d_name);
    ::closedir(list);
}

#ifdef __linux__
// Every extended attribute of `from` (the ACL among them: system.posix_acl_access) onto `to`.
// An attribute that the new file already carries with the same value is left alone.
bool CopyAttributes(int from, int to, std::string& error) {
    ssize_t size = ::flistxattr(from, nullptr, 0);
    if (size < 0 && errno == ENOTSUP)
        return true; // a file system without them
    if (size < 0) {
        error = Reason("cannot keep the file's extended attributes", errno);
        return false;
    }
    if (size == 0)
        return true; // the usual case: nothing to carry, and no second call to ask for it
    std::vector<char> names(static_cast<std::size_t>(size));
    size = ::flistxattr(from, names.data(), names.size());
    if (size < 0) {
        error = Reason("cannot keep the file's extended attributes", errno);
        return false;
    }
    std::vector<char> value;
    std::vector<char> present;
    for (const char* name = names.data(); name < names.data() + size;
         name += std::strlen(name) + 1) {
        if (std::strcmp(name, kTemporaryMark) == 0)
            continue;
        const ssize_t n = ::fgetxattr(from, name, nullptr, 0);
        value.resize(static_cast<std::size_t>(n > 0 ? n : 0));
        const ssize_t got = n < 0 ? -1 : ::fgetxattr(from, name, value.data(), value.size());
        if (got < 0) {
            error = Reason((std::string("cannot keep the attribute ") + name).c_str(), errno);
            return false;
        }
        value.resize(static_cast<std::size_t>(got));
        present.resize(value.size() + 1);
        const ssize_t has = ::fgetxattr(to, name, present.data(), present.size());
        if (has == got && std::memcmp(present.data(), value.data(), value.size()) == 0)
            continue;
        if (::fsetxattr(to, name, value.data(), value.size(), 0) != 0) {
            error = Reason((std::string("cannot keep the attribute ") + name).c_str(), errno);
            return false;
        }
    }
    return true;
}
#endif

int Exchange(int dir, const char* a, const char* b) {
#if defined(__linux__) && defined(SYS_renameat2)
    constexpr unsigned kExchange = 2; // RENAME_EXCHANGE
    return static_cast<int>(::syscall(SYS_renameat2, dir, a, dir, b, kExchange)) == 0 ? 0 : errno;
#else
    (void)dir;
    (void)a;
    (void)b;
    return EINVAL;
#endif
}

} // namespace

NativeTarget::~NativeTarget() {
    if (!swapped && !replacementName.empty() && dir != kNoHandle)
        ::unlinkat(Fd(dir), replacementName.c_str(), 0);
    CloseIfOpen(replacement);
    CloseIfOpen(file);
    CloseIfOpen(dir);
}

NativeAppend::~NativeAppend() {
    CloseIfOpen(file);
}

namespace native {

bool OpenTarget(const std::string& path, NativeTarget& t, std::string& error) {
    // The link stays and its target is rewritten: the name is resolved to where it leads, once.
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        error = Reason("cannot open", errno);
        return false;
    }
    const std::string full = resolved;
    const std::size_t slash = full.rfind('/');
    const std::string dir = slash == 0 ? "/" : full.substr(0, slash);
    t.name = full.substr(slash + 1);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = Reason("cannot open", errno);
        return false;
    }
    t.dir = fd;
    struct stat st {};
    if (::fstatat(fd, t.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        error = Reason("cannot open", errno);
        return false;
    }
    if (!IsReadable(st, error))
        return false;
    // A file that cannot be written is still read: its text may need no change. Write
    // permission is honoured even where the system would let the superuser override it.
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    t.readOnly = (st.st_mode & 0222) == 0;
    fd = t.readOnly ? -1 : ::openat(Fd(t.dir), t.name.c_str(), O_RDWR | kFlags);
    if (fd < 0 && (t.readOnly || errno == EACCES || errno == EROFS || errno == ETXTBSY)) {
        t.readOnly = true;
        fd = ::openat(Fd(t.dir), t.name.c_str(), O_RDONLY | kFlags);
    }
    if (fd < 0) {
        error = Reason("cannot open", errno);
        return false;
    }
    t.file = fd;
    // A regular file ignores the non-blocking flag, so it can stay.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = kNotRegular;
        return false;
    }
    return true;
}

bool LockTarget(NativeTarget& t, bool wait, const std::atomic<bool>* stop, bool& busy, bool& moved,
                std::string& error) {
    busy = false;
    // Any other error: a file system without locks, where the checks around the swap still hold.
    const int err = TakeLock(Fd(t.file), !t.readOnly, wait, stop);
    if (err == EINTR) {
        error = "cannot open: interrupted";
        return false;
    }
    if (err == EAGAIN) {
        busy = true;
        return false;
    }
    struct stat named {};
    struct stat held {};
    moved = ::fstatat(Fd(t.dir), t.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::fstat(Fd(t.file), &held) != 0 || named.st_dev != held.st_dev ||
            named.st_ino != held.st_ino;
    return true;
}

bool Identify(NativeHandle file, FileIdentity& id) {
    struct stat st {};
    if (::fstat(Fd(file), &st) != 0)
        return false;
    id.volume = static_cast<std::uint64_t>(st.st_dev);
    id.index = static_cast<std::uint64_t>(st.st_ino);
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.modified = Ns(st.st_mtim);
    id.changed = Ns(st.st_ctim);
    return true;
}

std::int64_t TimestampTickNs(NativeHandle file) {
#ifdef __linux__
    // Network and user-space file systems may keep whole seconds (or two, on FAT shares).
    constexpr long kCoarse[] = {
        0x6969 /* NFS */,      0x517B /* SMB */,    0xFF534D42 /* CIFS */, 0xFE534D42 /* SMB2 */,
        0x65735546 /* FUSE */, 0x01021997 /* 9P */, 0x00C36400 /* Ceph */, 0x4d44 /* FAT */};
    struct statfs fs {};
    if (::fstatfs(Fd(file), &fs) == 0 &&
        std::find(std::begin(kCoarse), std::end(kCoarse), static_cast<long>(fs.f_type)) !=
            std::end(kCoarse))
        return 2'000'000'000;
    // Local file systems take their times from the kernel's coarse clock.
    struct timespec tick {};
    if (::clock_getres(CLOCK_REALTIME_COARSE, &tick) == 0)
        return std::max<std::int64_t>(2 * Ns(tick), 20'000'000);
#else
    (void)file;
#endif
    return 2'000'000'000;
}

void AdviseLargePages(char* data, std::size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Whole pages inside the buffer only: the pages around it may belong to other allocations.
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    if (size < 2 * page)
        return;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    char* const begin = data + (page - start % page) % page;
    char* const end = data + size - (start + size) % page;
    if (end > begin)
        ::madvise(begin, static_cast<std::size_t>(end - begin), MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

long long ReadAt(NativeHandle file, std::uint64_t offset, char* buffer, std::size_t size,
                 std::string& error) {
    for (;;) {
        const ssize_t n = ::pread(Fd(file), buffer, size, static_cast<off_t>(offset));
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            error = Reason("cannot read", errno);
            return -1;
        }
    }
}

bool CreateReplacement(NativeTarget& t, std::string& error) {
    if (t.readOnly) {
        error = "cannot write: the file is read-only";
        return false;
    }
    SweepLeftovers(Fd(t.dir));
    int fd = -1;
    // Readable too: after a swap back it is read to see whether another program wrote into it.
#ifdef O_TMPFILE
    // Nameless until it is complete: a run that is killed leaves nothing behind.
    fd = ::openat(Fd(t.dir), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    while (fd < 0) {
        const std::string name = FreshName(Fd(t.dir));
        fd = ::openat(Fd(t.dir), name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC,
                      0600);
        if (fd >= 0) {
            t.replacementName = name;
            MarkAndLock(fd);
        } else if (errno != EEXIST) {
            error = Reason("cannot create a temporary file", errno);
            return false;
        }
    }
    t.replacement = fd;
    return true;
}

bool WriteReplacement(NativeTarget& t, std::string_view data, std::string& error) {
    return WriteWhole(t.replacement, data, error);
}

bool CopyMetadata(NativeTarget& t, std::string& error) {
    struct stat was {};
    struct stat now {};
    const int to = Fd(t.replacement);
    if (::fstat(Fd(t.file), &was) != 0 || ::fstat(to, &now) != 0) {
        error = Reason("cannot keep the file's owner and mode", errno);
        return false;
    }
    // Owner first: changing it clears setuid and setgid, which the mode then sets again.
    if ((was.st_uid != now.st_uid || was.st_gid != now.st_gid) &&
        ::fchown(to, was.st_uid, was.st_gid) != 0) {
        error = Reason("cannot keep the file's owner", errno);
        return false;
    }
    if (::fchmod(to, was.st_mode & 07777) != 0) {
        error = Reason("cannot keep the file's mode", errno);
        return false;
    }
#ifdef __linux__
    if (!CopyAttributes(Fd(t.file), to, error))
        return false;
#endif
    // Never wider than before: what the new file ended up with is checked, not assumed.
    if (::fstat(to, &now) != 0 || now.st_uid != was.st_uid || now.st_gid != was.st_gid ||
        (now.st_mode & 07777) != (was.st_mode & 07777)) {
        error = "cannot keep the file's owner and mode";
        return false;
    }
    return true;
}

bool FlushReplacement(NativeTarget& t, std::string& error) {
    if (::fdatasync(Fd(t.replacement)) != 0) {
        error = Reason("cannot flush", errno);
        return false;
    }
    return true;
}

bool FlushReplacements(const std::vector<NativeTarget*>& targets, std::string& error) {
#ifdef __linux__
    // One syncfs per file system writes every new file of the group, and the journal once.
    std::vector<dev_t> done;
    for (const NativeTarget* t : targets) {
        struct stat st {};
        if (::fstat(Fd(t->replacement), &st) != 0) {
            error = Reason("cannot flush", errno);
            return false;
        }
        if (std::find(done.begin(), done.end(), st.st_dev) != done.end())
            continue;
        if (::syncfs(Fd(t->replacement)) != 0) {
            error = Reason("cannot flush", errno);
            return false;
        }
        done.push_back(st.st_dev);
    }
    return true;
#else
    return std::all_of(targets.begin(), targets.end(),
                       [&](NativeTarget* t) { return FlushReplacement(*t, error); });
#endif
}

bool NameReplacement(NativeTarget& t, std::string& error) {
    if (!t.replacementName.empty())
        return true;
    MarkAndLock(Fd(t.replacement));
    for (;;) {
        const std::string name = FreshName(Fd(t.dir));
        int rc = ::linkat(Fd(t.replacement), "", Fd(t.dir), name.c_str(), AT_EMPTY_PATH);
        if (rc != 0 && (errno == ENOENT || errno == EPERM)) {
            // Without the capability for AT_EMPTY_PATH, the same through /proc.
            const std::string self = "/proc/self/fd/" + std::to_string(t.replacement);
            rc = ::linkat(AT_FDCWD, self.c_str(), Fd(t.dir), name.c_str(), AT_SYMLINK_FOLLOW);
        }
        if (rc == 0) {
            t.replacementName = name;
            return true;
        }
        if (errno != EEXIST) {
            error = Reason("cannot replace the file", errno);
            return false;
        }
    }
}

bool SwapIn(NativeTarget& t, bool& exchanged, std::string& error) {
    const int dir = Fd(t.dir);
    int err = Exchange(dir, t.replacementName.c_str(), t.name.c_str());
    exchanged = err == 0;
    if (err == EINVAL || err == ENOSYS || err == ENOTSUP) {
        // No exchange here: the name is checked one last time and renamed over.
        struct stat named {};
        struct stat held {};
        if (::fstatat(dir, t.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            ::fstat(Fd(t.file), &held) != 0 || named.st_dev != held.st_dev ||
            named.st_ino != held.st_ino) {
            error = "cannot write: the file changed while it was rewritten";
            return false;
        }
        err = ::renameat(dir, t.replacementName.c_str(), dir, t.name.c_str()) == 0 ? 0 : errno;
        if (err == 0)
            t.replacementName.clear();
    }
    if (err == ENOENT) {
        // The name is gone: another program deleted or moved the file meanwhile.
        error = "cannot write: the file changed while it was rewritten";
        return false;
    }
    if (err != 0) {
        error = Reason("cannot replace the file", err);
        return false;
    }
    t.swapped = true;
    // The scheme file's name is no temporary's: no later run may take it for a leftover.
    Unmark(Fd(t.replacement));
    return true;
}

bool SwappedOutIsTarget(const NativeTarget& t) {
    struct stat out {};
    struct stat held {};
    return ::fstatat(Fd(t.dir), t.replacementName.c_str(), &out, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(Fd(t.file), &held) == 0 && out.st_dev == held.st_dev &&
           out.st_ino == held.st_ino;
}

bool SwapBack(NativeTarget& t, std::string& error) {
    const int err = Exchange(Fd(t.dir), t.replacementName.c_str(), t.name.c_str());
    if (err != 0) {
        // Both files still exist: the other program's one under our temporary name.
        error = Reason(("cannot write: the file changed while it was rewritten, and could not "
                        "be put back; the other version is " +
                        t.replacementName)
                           .c_str(),
                       err);
        return false;
    }
    t.swapped = false;
    return true;
}

void RemoveSwappedOut(NativeTarget& t) {
    if (!t.replacementName.empty())
        ::unlinkat(Fd(t.dir), t.replacementName.c_str(), 0);
    t.replacementName.clear();
}

bool AppendToTarget(NativeTarget& t, std::string_view data, std::string& error) {
    // At the end as it is at each write, whoever else appends.
    const int flags = ::fcntl(Fd(t.file), F_GETFL);
    if (flags < 0 || ::fcntl(Fd(t.file), F_SETFL, flags | O_APPEND) != 0) {
        error = Reason("cannot write", errno);
        return false;
    }
    return WriteWhole(t.file, data, error);
}

void KeepReplacement(NativeTarget& t, std::string& kept) {
    const int dir = Fd(t.dir);
    Unmark(Fd(t.replacement));
    kept = t.replacementName;
    for (;;) {
        const std::string name = FreshName(dir, t.name + ".conflict-");
        if (::linkat(dir, t.replacementName.c_str(), dir, name.c_str(), 0) == 0) {
            ::unlinkat(dir, t.replacementName.c_str(), 0);
            kept = name;
            break;
        }
        if (errno != EEXIST)
            break; // a name too long, say: it keeps the one it has
    }
    t.replacementName.clear(); // not to be removed
}

bool KeepOriginal(NativeTarget& t, const FolderRef& folder, const std::string& name, bool copy,
                  std::string& error) {
    // The original stays a complete file of its own once it is swapped out: a second name costs
    // no copy. Made through the descriptors, never the names, which may meanwhile name others.
    const int at = Fd(folder.handle);
    int rc = -1;
    errno = EXDEV;
    if (!copy) {
        rc = ::linkat(Fd(t.file), "", at, name.c_str(), AT_EMPTY_PATH);
        if (rc != 0 && (errno == ENOENT || errno == EPERM)) {
            const std::string self = "/proc/self/fd/" + std::to_string(t.file);
            rc = ::linkat(AT_FDCWD, self.c_str(), at, name.c_str(), AT_SYMLINK_FOLLOW);
        }
    }
    if (rc == 0)
        return true;
    if (errno != EXDEV && errno != EPERM && errno != EMLINK && errno != ENOENT) {
        error = Reason("cannot keep the original for undo", errno);
        return false;
    }
    // A copy is the user's own and no one else's: undo takes the owner, mode and ACL from the
    // file it restores, so the copy needs none of them, and carrying a set-id bit or a group to
    // it, or dropping an ACL that shut someone out, would open the old text to others.
    const int out =
        ::openat(at, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) {
        error = Reason("cannot keep the original for undo", errno);
        return false;
    }
    std::vector<char> buffer(std::size_t{1} << 20);
    int err = 0;
    for (std::uint64_t offset = 0;;) {
        const ssize_t n =
            ::pread(Fd(t.file), buffer.data(), buffer.size(), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            err = n < 0 ? errno : 0;
            break;
        }
        if (!WriteAll(out, {buffer.data(), static_cast<std::size_t>(n)}, err))
            break;
        offset += static_cast<std::uint64_t>(n);
    }
    // The mode is set again: a setgid folder may have given the copy its group, which 0600
    // already shuts out; an inherited default ACL is dropped with the attribute.
    if (err == 0 && ::fchmod(out, 0600) != 0)
        err = errno;
#ifdef __linux__
    if (err == 0 && ::fremovexattr(out, "system.posix_acl_access") != 0 && errno != ENODATA &&
        errno != ENOTSUP)
        err = errno;
#endif
    if (err == 0 && ::fdatasync(out) != 0)
        err = errno;
    ::close(out);
    if (err != 0) {
        ::unlinkat(at, name.c_str(), 0);
        error = Reason("cannot keep the original for undo", err);
        return false;
    }
    return true;
}

bool OpenForAppend(const std::string& path, NativeAppend& out, std::string& error) {
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    struct stat st {};
    const bool link = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    // A link that appears after the look is not followed.
    int fd = link ? -1 : ::open(path.c_str(), kFlags | O_NOFOLLOW, 0666);
    if (link) {
        // The kernel's protected_symlinks rule, kept even where the kernel does not: in a
        // world-writable sticky directory, a link is followed only when it belongs to the user
        // or to the directory's owner (and then no one else can replace it).
        const std::size_t slash = path.rfind('/');
        const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        struct stat d {};
        if (::stat(dir.c_str(), &d) != 0 || ((d.st_mode & S_ISVTX) && (d.st_mode & S_IWOTH) &&
                                             st.st_uid != d.st_uid && st.st_uid != ::geteuid())) {
            error = "cannot open: a symbolic link of another user in a shared directory";
            return false;
        }
        fd = ::open(path.c_str(), kFlags, 0666);
    }
    if (fd < 0) {
        // ENXIO: a FIFO that no one reads.
        error = errno == ENXIO ? "cannot open: not a regular file" : Reason("cannot open", errno);
        return false;
    }
    out.file = fd;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot open: not a regular file";
        return false;
    }
    Blocking(fd);
    return true;
}

bool LockAppend(NativeAppend& out, bool wait, const std::atomic<bool>* stop, bool& busy,
                std::string& error) {
    busy = false;
    const int err = TakeLock(Fd(out.file), true, wait, stop);
    if (err == EAGAIN) {
        busy = true;
        return false;
    }
    if (err == EINTR) {
        error = "cannot lock: interrupted";
        return false;
    }
    if (err != 0 && err != EINVAL && err != ENOLCK && err != ENOTSUP) {
        error = Reason("cannot lock", err);
        return false;
    }
    const off_t end = ::lseek(Fd(out.file), 0, SEEK_END);
    out.start = end > 0 ? static_cast<std::uint64_t>(end) : 0;
    return true;
}

bool AppendBytes(NativeAppend& out, std::string_view data, std::string& error) {
    return WriteWhole(out.file, data, error);
}

bool CloseAppend(NativeAppend& out, std::string& error) {
    // Closing releases the lock; a failed close is a lost write on some file systems.
    const int fd = Fd(out.file);
    out.file = kNoHandle;
    if (::close(fd) != 0) {
        error = Reason("cannot write", errno);
        return false;
    }
    return true;
}

void TruncateBack(NativeAppend& out) {
    // Only our own records lie past `start`: other veldran processes wait for the lock.
    if (out.file != kNoHandle)
        (void)!::ftruncate(Fd(out.file), static_cast<off_t>(out.start));
    CloseIfOpen(out.file);
}

} // namespace native

InputFile::~InputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InputFile::Open(const std::string& path, std::string& error) {
    // Opened without waiting for a writer, so a FIFO is refused once it is open; a socket
    // cannot be opened at all (ENXIO). A regular file ignores the flag: it stays as it is.
    m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0) {
        error = errno == ENXIO ? kNotRegular : Reason("cannot open", errno);
        return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        error = Reason("cannot read", errno);
        return false;
    }
    return IsReadable(st, error);
}

std::size_t InputFile::SizeHint() const {
    struct stat st {};
    return ::fstat(m_fd, &st) == 0 && st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
}

long long InputFile::Read(char* buffer, std::size_t size, std::string& error) {
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            error = Reason("cannot read", errno);
            return -1;
        }
    }
}

std::filesystem::path NativePath(const std::string& path) {
    return path;
}

void DeleteFileQuietly(const std::string& path) {
    ::unlink(path.c_str());
}

} // namespace veldran

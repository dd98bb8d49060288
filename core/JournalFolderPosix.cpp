// POSIX steps of the undo journal's folders and files: every name is resolved relative to a
// folder opened once, and nothing is reached through a symbolic link.
#include "JournalFolder.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veldran::journalfs {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kFileFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
// Only the owner may enter the journal: a second name of a file from a private folder must stay
// as private as the file was.
constexpr mode_t kPrivateFolder = 0700;
constexpr mode_t kPrivateFile = 0600;

int Fd(NativeHandle h) {
    return static_cast<int>(h);
}

std::string Reason(int err) {
    return std::strerror(err);
}

// Whether what was opened as a journal folder is one to trust.
bool Trusted(int fd, const std::string& path, std::string& error) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = Reason(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = path + " is not a folder";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = path + " belongs to another user";
        return false;
    }
    if ((st.st_mode & 077) != 0) {
        error = path + " is open to other users";
        return false;
    }
    return true;
}

bool OpenFolderAt(int at, const std::string& name, const std::string& path, bool create,
                  Folder& out, bool& missing, bool& exists, std::string& error) {
    missing = false;
    exists = false;
    if (create) {
        // The umask may take bits from the mode asked for, never add any.
        if (::mkdirat(at, name.c_str(), kPrivateFolder) != 0) {
            if (errno != EEXIST) {
                error = Reason(errno);
                return false;
            }
            exists = true;
        }
    }
    const int fd = ::openat(at, name.c_str(), kFolderFlags);
    if (fd < 0) {
        missing = errno == ENOENT;
        error = errno == ELOOP || errno == ENOTDIR ? path + " is not a folder" : Reason(errno);
        return false;
    }
    out.Adopt(fd, path);
    return Trusted(fd, path, error);
}

bool CheckOwnFile(int fd, std::string& error) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = Reason(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        error = "belongs to another user";
        return false;
    }
    return true;
}

} // namespace

Folder::~Folder() {
    if (m_ref.handle != kNoHandle)
        ::close(Fd(m_ref.handle));
}

Folder::Folder(Folder&& other) noexcept : m_ref(std::move(other.m_ref)) {
    other.m_ref.handle = kNoHandle;
    other.m_ref.path.clear();
}

Folder& Folder::operator=(Folder&& other) noexcept {
    if (this != &other) {
        if (m_ref.handle != kNoHandle)
            ::close(Fd(m_ref.handle));
        m_ref = std::move(other.m_ref);
        other.m_ref.handle = kNoHandle;
        other.m_ref.path.clear();
    }
    return *this;
}

void Folder::Adopt(NativeHandle handle, std::string path) {
    if (m_ref.handle != kNoHandle)
        ::close(Fd(m_ref.handle));
    m_ref.handle = handle;
    m_ref.path = std::move(path);
}

std::string UserTag() {
    return std::to_string(::geteuid());
}

bool OpenPrivate(const std::string& path, bool create, Folder& out, bool& missing,
                 std::string& error) {
    bool exists = false;
    return OpenFolderAt(AT_FDCWD, path, path, create, out, missing, exists, error);
}

bool OpenChild(const Folder& parent, const std::string& name, bool create, Folder& out,
               bool& exists, std::string& error) {
    bool missing = false;
    return OpenFolderAt(Fd(parent.Ref().handle), name, parent.Path() + "/" + name, create, out,
                        missing, exists, error);
}

std::vector<std::string> Names(const Folder& folder) {
    std::vector<std::string> names;
    const int fd = ::openat(Fd(folder.Ref().handle), ".", kFolderFlags);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (dir == nullptr) {
        if (fd >= 0)
            ::close(fd);
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

void RemoveChild(const Folder& parent, const std::string& name) {
    Folder child;
    bool exists = false;
    std::string error;
    if (!OpenChild(parent, name, false, child, exists, error))
        return;
    for (const std::string& entry : Names(child))
        ::unlinkat(Fd(child.Ref().handle), entry.c_str(), 0);
    ::unlinkat(Fd(parent.Ref().handle), name.c_str(), AT_REMOVEDIR);
}

bool CreateOwnFile(const Folder& folder, const std::string& name, NativeHandle& file,
                   std::string& error) {
    const int fd = ::openat(Fd(folder.Ref().handle), name.c_str(),
                            O_RDWR | O_APPEND | O_CREAT | O_EXCL | kFileFlags, kPrivateFile);
    if (fd < 0) {
        error = Reason(errno);
        return false;
    }
    file = fd;
    return true;
}

bool OpenOwnFile(const Folder& folder, const std::string& name, NativeHandle& file, bool& missing,
                 std::string& error) {
    const int fd = ::openat(Fd(folder.Ref().handle), name.c_str(), O_RDWR | O_APPEND | kFileFlags);
    missing = fd < 0 && errno == ENOENT;
    if (fd < 0) {
        error = errno == ELOOP ? "not a regular file" : Reason(errno);
        return false;
    }
    file = fd;
    return CheckOwnFile(fd, error);
}

bool OpenKept(const Folder& folder, const std::string& name, NativeHandle& file,
              FileIdentity& identity, bool& missing, std::string& error) {
    // Its owner is the owner of the file it was swapped out of, which may be another user's.
    const int fd = ::openat(Fd(folder.Ref().handle), name.c_str(), O_RDONLY | kFileFlags);
    missing = fd < 0 && errno == ENOENT;
    if (fd < 0) {
        error = errno == ELOOP ? "not a regular file" : Reason(errno);
        return false;
    }
    file = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return false;
    }
    return native::Identify(file, identity);
}

bool TryLock(NativeHandle file, bool& busy, std::string& error) {
    busy = false;
#ifdef F_OFD_SETLK
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(Fd(file), F_OFD_SETLK, &lock) == 0)
        return true;
    if (errno == EAGAIN || errno == EACCES) {
        busy = true;
        return false;
    }
    // A file system without locks: runs are told apart by their folders all the same.
    if (errno == EINVAL || errno == ENOLCK || errno == ENOTSUP)
        return true;
    error = Reason(errno);
    return false;
#else
    (void)file;
    (void)error;
    return true;
#endif
}

bool ReadAll(NativeHandle file, std::string& data, std::string& error) {
    data.clear();
    char buffer[1 << 16];
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(Fd(file), buffer, sizeof buffer, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = Reason(errno);
            return false;
        }
        if (n == 0)
            return true;
        data.append(buffer, static_cast<std::size_t>(n));
        offset += n;
    }
}

bool Append(NativeHandle file, std::string_view data, std::string& error) {
    while (!data.empty()) {
        const ssize_t n = ::write(Fd(file), data.data(), data.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = Reason(errno);
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void TruncateTo(NativeHandle file, std::uint64_t size) {
    (void)!::ftruncate(Fd(file), static_cast<off_t>(size));
}

std::uint64_t SizeOf(NativeHandle file) {
    struct stat st {};
    return ::fstat(Fd(file), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

bool Sync(NativeHandle file, const Folder& folder, std::string& error) {
    if (::fdatasync(Fd(file)) != 0 || ::fsync(Fd(folder.Ref().handle)) != 0) {
        error = Reason(errno);
        return false;
    }
    return true;
}

bool Rename(const Folder& folder, const std::string& from, const std::string& to,
            std::string& error) {
    const int fd = Fd(folder.Ref().handle);
    if (::renameat(fd, from.c_str(), fd, to.c_str()) != 0) {
        error = Reason(errno);
        return false;
    }
    return true;
}

void Remove(const Folder& folder, const std::string& name) {
    ::unlinkat(Fd(folder.Ref().handle), name.c_str(), 0);
}

void Close(NativeHandle& file) {
    if (file != kNoHandle)
        ::close(Fd(file));
    file = kNoHandle;
}

} // namespace veldran::journalfs

// POSIX side of the safe file access.
#include "SafeFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veldran {

namespace {

std::string Reason(const char* what, int err) {
    return std::string(what) + ": " + std::strerror(err);
}

int Fault(WriteFaults* faults, WriteStep step) {
    return faults ? faults->Inject(step) : 0;
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

// Whether the file at `path` is still the one `was` describes: the same file, size and time.
bool Unchanged(const std::string& path, const struct stat& was) {
    struct stat now {};
    return ::stat(path.c_str(), &now) == 0 && now.st_dev == was.st_dev &&
           now.st_ino == was.st_ino && now.st_size == was.st_size &&
           now.st_mtim.tv_sec == was.st_mtim.tv_sec && now.st_mtim.tv_nsec == was.st_mtim.tv_nsec;
}

bool IsDirectory(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

InputFile::~InputFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool InputFile::Open(const std::string& path, std::string& error) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        error = Reason("cannot open", errno);
        return false;
    }
    if (IsDirectory(m_fd)) {
        error = Reason("cannot read", EISDIR);
        return false;
    }
    return true;
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

bool ReplaceFileContent(const std::string& path, std::string_view data, std::string& error,
                        WriteFaults* faults) {
    // The link stays and its target is rewritten, so the temporary file goes beside the target.
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        error = Reason("cannot open", errno);
        return false;
    }
    const std::string target = resolved;
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) {
        error = Reason("cannot open", errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = "cannot write: not a regular file";
        return false;
    }
    // Write permission is honoured even where the system would let the superuser override it.
    if (::access(target.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0) {
        error = "cannot write: the file is read-only";
        return false;
    }
    // A short fixed name, so that a file name near the length limit still gets its temporary.
    std::string temp = target.substr(0, target.rfind('/') + 1) + ".veldran-XXXXXX";

    int err = Fault(faults, WriteStep::CreateTemp);
    const int fd = err ? -1 : ::mkstemp(temp.data());
    if (fd < 0) {
        error = Reason("cannot create a temporary file", err ? err : errno);
        return false;
    }
    ::fchmod(fd, st.st_mode & 07777);
    if (::geteuid() == 0)
        (void)!::fchown(fd, st.st_uid, st.st_gid);

    const char* failed = nullptr;
    if ((err = Fault(faults, WriteStep::Write)) != 0 || !WriteAll(fd, data, err))
        failed = "cannot write";
    else if ((err = Fault(faults, WriteStep::Flush)) != 0 ||
             (::fdatasync(fd) != 0 && (err = errno)))
        failed = "cannot flush";
    const int closeError = ::close(fd) == 0 ? 0 : errno;
    if (failed == nullptr && closeError != 0) {
        err = closeError;
        failed = "cannot write";
    }
    if (failed == nullptr) {
        err = Fault(faults, WriteStep::Rename);
        // What another program wrote to the file or did with it meanwhile must not be lost.
        if (err == 0 && !Unchanged(target, st)) {
            ::unlink(temp.c_str());
            error = "cannot write: the file changed while it was rewritten";
            return false;
        }
        if (err == 0 && ::rename(temp.c_str(), target.c_str()) != 0)
            err = errno;
        if (err != 0)
            failed = "cannot replace the file";
    }
    if (failed != nullptr) {
        ::unlink(temp.c_str());
        error = Reason(failed, err);
        return false;
    }
    return true;
}

bool AppendToFile(const std::string& path, std::string_view data, std::string& error,
                  WriteFaults* faults) {
    int err = Fault(faults, WriteStep::CreateTemp);
    const int fd = err ? -1 : ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = Reason("cannot open", err ? err : errno);
        return false;
    }
    // A record that does not fit is taken back whole, so the file never ends in half a record.
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    const char* failed = nullptr;
    if ((err = Fault(faults, WriteStep::Write)) != 0 || !WriteAll(fd, data, err)) {
        failed = "cannot write";
        if (sized)
            (void)!::ftruncate(fd, before.st_size);
    }
    if (::close(fd) != 0 && failed == nullptr) {
        err = errno;
        failed = "cannot write";
    }
    if (failed != nullptr) {
        error = Reason(failed, err);
        return false;
    }
    return true;
}

std::filesystem::path NativePath(const std::string& path) {
    return path;
}

void DeleteFileQuietly(const std::string& path) {
    ::unlink(path.c_str());
}

} // namespace veldran

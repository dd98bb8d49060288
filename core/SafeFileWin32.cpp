// Windows side of the safe file access. Paths are in the local code page, so every call is an
// ANSI ("A") function of the Windows API.
#include "SafeFile.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>

namespace veldran {

namespace {

// Opened as the C runtime opens a file for "r" and "a+": others may read and write it meanwhile.
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
// The largest single WriteFile or ReadFile request.
constexpr std::size_t kMaxTransfer = 1u << 30;

// An errno value (an injected fault) as text.
std::string Reason(const char* what, int err) {
    return std::string(what) + ": " + std::strerror(err);
}

// A Windows error code as the system's own text, without its closing full stop and line end.
std::string SystemReason(const char* what, DWORD code) {
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message;
    if (n != 0 && text != nullptr)
        message.assign(text, n);
    if (text != nullptr)
        ::LocalFree(text);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    if (message.empty())
        message = "system error " + std::to_string(code);
    return std::string(what) + ": " + message;
}

// The reason of a failed step: the injected errno when there was one, else the system's error.
std::string StepReason(const char* what, int injected, DWORD code) {
    return injected != 0 ? Reason(what, injected) : SystemReason(what, code);
}

// The system handle under a C runtime descriptor.
HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); // NOLINT(performance-no-int-to-ptr)
}

int Fault(WriteFaults* faults, WriteStep step) {
    return faults ? faults->Inject(step) : 0;
}

bool WriteAll(HANDLE file, std::string_view data, DWORD& code, bool toEnd) {
    while (!data.empty()) {
        const DWORD chunk =
            static_cast<DWORD>(data.size() < kMaxTransfer ? data.size() : kMaxTransfer);
        DWORD written = 0;
        // An offset of all ones writes at the end of the file as it is at that moment.
        OVERLAPPED atEnd{};
        atEnd.Offset = 0xFFFFFFFF;
        atEnd.OffsetHigh = 0xFFFFFFFF;
        if (!::WriteFile(file, data.data(), chunk, &written, toEnd ? &atEnd : nullptr)) {
            code = ::GetLastError();
            return false;
        }
        if (written == 0) {
            code = ERROR_WRITE_FAULT;
            return false;
        }
        data.remove_prefix(written);
    }
    return true;
}

// The file the path finally names: a symbolic link or junction is followed, so the link stays
// and its target is rewritten. An ordinary path is kept as it was given.
bool ResolveTarget(const std::string& path, DWORD attributes, std::string& target, DWORD& code) {
    target = path;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return true;
    HANDLE file = ::CreateFileA(path.c_str(), 0, kShareReadWrite | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        code = ::GetLastError();
        return false;
    }
    std::string buffer(MAX_PATH, '\0');
    DWORD n = ::GetFinalPathNameByHandleA(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                          FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = ::GetFinalPathNameByHandleA(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    code = ::GetLastError();
    ::CloseHandle(file);
    if (n == 0 || n >= buffer.size())
        return false;
    buffer.resize(n);
    // "\\?\C:\dir\file" and "\\?\UNC\server\share\file" back to their ordinary forms.
    if (buffer.rfind("\\\\?\\UNC\\", 0) == 0)
        buffer.replace(0, 8, "\\\\");
    else if (buffer.rfind("\\\\?\\", 0) == 0)
        buffer.erase(0, 4);
    target = buffer;
    return true;
}

// Whether the file at `path` is still the one `was` describes: the same file, size and time.
bool Unchanged(const std::string& path, const BY_HANDLE_FILE_INFORMATION& was) {
    HANDLE file =
        ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareReadWrite | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION now{};
    const bool known = ::GetFileInformationByHandle(file, &now) != 0;
    ::CloseHandle(file);
    return known && now.dwVolumeSerialNumber == was.dwVolumeSerialNumber &&
           now.nFileIndexHigh == was.nFileIndexHigh && now.nFileIndexLow == was.nFileIndexLow &&
           now.nFileSizeHigh == was.nFileSizeHigh && now.nFileSizeLow == was.nFileSizeLow &&
           ::CompareFileTime(&now.ftLastWriteTime, &was.ftLastWriteTime) == 0;
}

// The attributes a new file may be created with; the rest belong to the file system.
constexpr DWORD kCreatableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// A new, empty file beside `target` whose name no other file has. The name is short and fixed,
// so that a path near the length limit still gets its temporary.
HANDLE CreateTempBeside(const std::string& target, DWORD attributes, std::string& temp,
                        DWORD& code) {
    const std::size_t cut = target.find_last_of("\\/:");
    const std::string dir = cut == std::string::npos ? std::string() : target.substr(0, cut + 1);
    DWORD create = attributes & kCreatableAttributes;
    if (create == 0)
        create = FILE_ATTRIBUTE_NORMAL;
    unsigned long long seed =
        ::GetTickCount64() ^ (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%06llx", (seed >> 40) & 0xFFFFFF);
        temp = dir + ".veldran-" + suffix;
        HANDLE file =
            ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, create, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS)
            return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

} // namespace

InputFile::~InputFile() {
    if (m_fd >= 0)
        ::_close(m_fd);
}

bool InputFile::Open(const std::string& path, std::string& error) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = Reason("cannot read", EISDIR);
        return false;
    }
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, kShareReadWrite, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemReason("cannot open", ::GetLastError());
        return false;
    }
    // The C runtime's descriptor owns the handle from here on and closes it.
    m_fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_BINARY);
    if (m_fd < 0) {
        ::CloseHandle(file);
        error = Reason("cannot open", EMFILE);
        return false;
    }
    return true;
}

std::size_t InputFile::SizeHint() const {
    LARGE_INTEGER size{};
    HANDLE file = HandleOf(m_fd);
    return ::GetFileSizeEx(file, &size) && size.QuadPart > 0
               ? static_cast<std::size_t>(size.QuadPart)
               : 0;
}

long long InputFile::Read(char* buffer, std::size_t size, std::string& error) {
    HANDLE file = HandleOf(m_fd);
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(size < kMaxTransfer ? size : kMaxTransfer);
    if (!::ReadFile(file, buffer, want, &n, nullptr)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE)
            return 0;
        error = SystemReason("cannot read", code);
        return -1;
    }
    return n;
}

bool ReplaceFileContent(const std::string& path, std::string_view data, std::string& error,
                        WriteFaults* faults) {
    DWORD code = 0;
    const DWORD linkAttributes = ::GetFileAttributesA(path.c_str());
    if (linkAttributes == INVALID_FILE_ATTRIBUTES) {
        error = SystemReason("cannot open", ::GetLastError());
        return false;
    }
    std::string target;
    if (!ResolveTarget(path, linkAttributes, target, code)) {
        error = SystemReason("cannot open", code);
        return false;
    }
    const DWORD attributes = ::GetFileAttributesA(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = SystemReason("cannot open", ::GetLastError());
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = "cannot write: not a regular file";
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        error = "cannot write: the file is read-only";
        return false;
    }
    // The access the replacement needs, asked for before anything is written: a file that the
    // access list keeps from us, or that another program holds open without letting it be
    // replaced, is refused here with the original untouched.
    HANDLE probe =
        ::CreateFileA(target.c_str(), GENERIC_WRITE | DELETE, kShareReadWrite | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        code = ::GetLastError();
        error = SystemReason(code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION
                                 ? "cannot open"
                                 : "cannot write",
                             code);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION was{};
    const bool known = ::GetFileInformationByHandle(probe, &was) != 0;
    ::CloseHandle(probe);
    if (!known) {
        error = SystemReason("cannot open", ::GetLastError());
        return false;
    }

    std::string temp;
    int injected = Fault(faults, WriteStep::CreateTemp);
    HANDLE file =
        injected != 0 ? INVALID_HANDLE_VALUE : CreateTempBeside(target, attributes, temp, code);
    if (file == INVALID_HANDLE_VALUE) {
        error = StepReason("cannot create a temporary file", injected, code);
        return false;
    }

    const char* failed = nullptr;
    if ((injected = Fault(faults, WriteStep::Write)) != 0 || !WriteAll(file, data, code, false))
        failed = "cannot write";
    else if ((injected = Fault(faults, WriteStep::Flush)) != 0 || !::FlushFileBuffers(file)) {
        failed = "cannot flush";
        code = ::GetLastError();
    }
    if (!::CloseHandle(file) && failed == nullptr) {
        code = ::GetLastError();
        failed = "cannot write";
    }
    if (failed == nullptr) {
        injected = Fault(faults, WriteStep::Rename);
        // What another program wrote to the file or did with it meanwhile must not be lost.
        if (injected == 0 && !Unchanged(target, was)) {
            ::DeleteFileA(temp.c_str());
            error = "cannot write: the file changed while it was rewritten";
            return false;
        }
        // Write-through: the rename is on disk when it returns. Never delete, then rename: the
        // original exists under its name at every moment.
        const bool moved =
            injected == 0 && ::MoveFileExA(temp.c_str(), target.c_str(),
                                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!moved) {
            code = ::GetLastError();
            failed = "cannot replace the file";
        }
    }
    if (failed != nullptr) {
        ::DeleteFileA(temp.c_str());
        error = StepReason(failed, injected, code);
        return false;
    }
    return true;
}

bool AppendToFile(const std::string& path, std::string_view data, std::string& error,
                  WriteFaults* faults) {
    int injected = Fault(faults, WriteStep::CreateTemp);
    // The system refuses everyone to write a read-only file; a Windows emulation that runs as
    // the superuser may not, so the attribute is asked first.
    const DWORD attributes =
        injected != 0 ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        error = SystemReason("cannot open", ERROR_ACCESS_DENIED);
        return false;
    }
    HANDLE file = injected != 0
                      ? INVALID_HANDLE_VALUE
                      : ::CreateFileA(path.c_str(), GENERIC_WRITE, kShareReadWrite, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = StepReason("cannot open", injected, ::GetLastError());
        return false;
    }
    // A record that does not fit is taken back whole, so the file never ends in half a record.
    LARGE_INTEGER before{};
    const bool sized = ::GetFileType(file) == FILE_TYPE_DISK && ::GetFileSizeEx(file, &before);
    DWORD code = 0;
    const char* failed = nullptr;
    if ((injected = Fault(faults, WriteStep::Write)) != 0 || !WriteAll(file, data, code, true)) {
        failed = "cannot write";
        if (sized && ::SetFilePointerEx(file, before, nullptr, FILE_BEGIN))
            ::SetEndOfFile(file);
    }
    if (!::CloseHandle(file) && failed == nullptr) {
        code = ::GetLastError();
        failed = "cannot write";
    }
    if (failed != nullptr) {
        error = StepReason(failed, injected, code);
        return false;
    }
    return true;
}

std::filesystem::path NativePath(const std::string& path) {
    const UINT codePage = ::AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    const int size = static_cast<int>(path.size());
    const int n = ::MultiByteToWideChar(codePage, 0, path.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(codePage, 0, path.data(), size, wide.data(), n);
    return wide;
}

void DeleteFileQuietly(const std::string& path) {
    ::DeleteFileA(path.c_str());
}

} // namespace veldran

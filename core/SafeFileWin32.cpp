// Windows side of the safe file access. Paths are in the local code page, so every call is an
// ANSI ("A") function of the Windows API.
#include "FilePrimitives.h"
#include "HeldFileRetry.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <vector>

namespace veldran {

namespace {

constexpr const char* kNotRegular = "cannot read: not a regular file";
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

// The system handle under a C runtime descriptor.
HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); // NOLINT(performance-no-int-to-ptr)
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

// The attributes a new file may be created with; the rest belong to the file system.
constexpr DWORD kCreatableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
                                       FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

HANDLE H(NativeHandle h) {
    return reinterpret_cast<HANDLE>(h); // NOLINT(performance-no-int-to-ptr)
}

NativeHandle N(HANDLE h) {
    return reinterpret_cast<NativeHandle>(h);
}

void CloseIfOpen(NativeHandle& h) {
    if (h != kNoHandle)
        ::CloseHandle(H(h));
    h = kNoHandle;
}

std::int64_t Ticks(const FILETIME& t) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                     t.dwLowDateTime);
}

// The path the open file has now, in its ordinary form: a link was followed on the way, so the
// link stays and its target is rewritten.
bool FinalPath(HANDLE file, std::string& path) {
    std::string buffer(MAX_PATH, '\0');
    DWORD n = ::GetFinalPathNameByHandleA(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                          FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n >= buffer.size()) {
        buffer.resize(n + 1);
        n = ::GetFinalPathNameByHandleA(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    if (n == 0 || n >= buffer.size())
        return false;
    buffer.resize(n);
    // "\\?\C:\dir\file" and "\\?\UNC\server\share\file" back to their ordinary forms.
    if (buffer.rfind("\\\\?\\UNC\\", 0) == 0)
        buffer.replace(0, 8, "\\\\");
    else if (buffer.rfind("\\\\?\\", 0) == 0)
        buffer.erase(0, 4);
    path = buffer;
    return true;
}

// A name beside `path` that no file has now. Short and fixed, so that a path near the length
// limit still gets its temporary.
std::string FreshNameBeside(const std::string& path) {
    const std::size_t cut = path.find_last_of("\\/:");
    const std::string dir = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    static unsigned long long seed =
        ::GetTickCount64() ^ (static_cast<unsigned long long>(::GetCurrentProcessId()) << 32);
    for (;;) {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%06llx", (seed >> 40) & 0xFFFFFF);
        std::string name = dir + ".veldran-" + suffix;
        if (::GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES)
            return name;
    }
}

// Gives the open file `file` the name `to`, by its handle.
bool RenameByHandle(HANDLE file, const std::string& to, DWORD& code) {
    const std::wstring wide = NativePath(to).wstring();
    const std::size_t bytes = sizeof(FILE_RENAME_INFO) + wide.size() * sizeof(wchar_t);
    std::vector<unsigned char> storage(bytes, 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, wide.data(), info->FileNameLength);
    if (::SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(bytes)))
        return true;
    code = ::GetLastError();
    return false;
}

bool DeleteByHandle(HANDLE file) {
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &dispose, sizeof dispose) != 0;
}

constexpr SECURITY_INFORMATION kOwnership = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION;

// The security descriptor of an open file as self-relative bytes, to compare and to copy.
bool SecurityOf(HANDLE file, SECURITY_INFORMATION what, std::vector<unsigned char>& out) {
    DWORD needed = 0;
    ::GetKernelObjectSecurity(file, what, nullptr, 0, &needed);
    if (needed == 0)
        return false;
    out.assign(needed, 0);
    return ::GetKernelObjectSecurity(file, what, out.data(), needed, &needed) != 0;
}

} // namespace

NativeTarget::~NativeTarget() {
    // A replacement that never got the name goes, by its handle.
    if (!swapped && replacement != kNoHandle)
        DeleteByHandle(H(replacement));
    CloseIfOpen(replacement);
    CloseIfOpen(file);
}

NativeAppend::~NativeAppend() {
    CloseIfOpen(file);
}

namespace native {

bool OpenTarget(const std::string& path, NativeTarget& t, std::string& error) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        error = SystemReason("cannot open", ::GetLastError());
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        error = Reason("cannot read", EISDIR);
        return false;
    }
    // Others may read the file meanwhile, but no one may write, rename or delete it until the
    // replacement is in: the system itself keeps other programs' writes out of the way.
    constexpr DWORD kRewrite = GENERIC_READ | DELETE | READ_CONTROL;
    t.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!t.readOnly)
        RetryWhileHeld([&] {
            file = ::CreateFileA(path.c_str(), kRewrite, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            return file != INVALID_HANDLE_VALUE;
        });
    DWORD code = ::GetLastError();
    if (file == INVALID_HANDLE_VALUE && (t.readOnly || code == ERROR_ACCESS_DENIED)) {
        // Still read: its text may need no change.
        t.readOnly = true;
        RetryWhileHeld([&] {
            file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            return file != INVALID_HANDLE_VALUE;
        });
        code = ::GetLastError();
    }
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemReason("cannot open", code);
        return false;
    }
    t.file = N(file);
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        error = kNotRegular;
        return false;
    }
    if (!FinalPath(file, t.name)) {
        error = SystemReason("cannot open", ::GetLastError());
        return false;
    }
    return true;
}

bool LockTarget(NativeTarget&, bool, const std::atomic<bool>*, bool& busy, bool& moved,
                std::string&) {
    // The share mode of the open already keeps every other writer out.
    busy = false;
    moved = false;
    return true;
}

bool Identify(NativeHandle file, FileIdentity& id) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandle(H(file), &info) ||
        !::GetFileInformationByHandleEx(H(file), FileBasicInfo, &basic, sizeof basic))
        return false;
    id.volume = info.dwVolumeSerialNumber;
    id.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    id.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    id.modified = Ticks(info.ftLastWriteTime);
    id.changed = basic.ChangeTime.QuadPart;
    return true;
}

void AdviseLargePages(char*, std::size_t) {
    // Large pages need a privilege that ordinary users lack: nothing to ask for.
}

std::int64_t TimestampTickNs(NativeHandle) {
    // Not needed to see another writer (the share mode keeps them out); FAT keeps two seconds.
    return 2'000'000'000;
}

long long ReadAt(NativeHandle file, std::uint64_t offset, char* buffer, std::size_t size,
                 std::string& error) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(size < kMaxTransfer ? size : kMaxTransfer);
    if (!::ReadFile(H(file), buffer, want, &n, &at)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_HANDLE_EOF)
            return 0;
        error = SystemReason("cannot read", code);
        return -1;
    }
    return n;
}

bool CreateReplacement(NativeTarget& t, std::string& error) {
    if (t.readOnly) {
        error = "cannot write: the file is read-only";
        return false;
    }
    DWORD attributes = ::GetFileAttributesA(t.name.c_str()) & kCreatableAttributes;
    if (attributes == 0)
        attributes = FILE_ATTRIBUTE_NORMAL;
    for (;;) {
        const std::string name = FreshNameBeside(t.name);
        // Readable, so that it can be compared after a swap back; shared with no one, so that
        // no other program writes into it even while it holds the name.
        HANDLE file = ::CreateFileA(name.c_str(),
                                    GENERIC_READ | GENERIC_WRITE | DELETE | READ_CONTROL |
                                        WRITE_DAC | WRITE_OWNER,
                                    0, nullptr, CREATE_NEW, attributes, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            t.replacement = N(file);
            t.replacementName = name;
            return true;
        }
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
            error = SystemReason("cannot create a temporary file", code);
            return false;
        }
    }
}

bool WriteReplacement(NativeTarget& t, std::string_view data, std::string& error) {
    DWORD code = 0;
    if (!WriteAll(H(t.replacement), data, code, false)) {
        error = SystemReason("cannot write", code);
        return false;
    }
    return true;
}

bool CopyMetadata(NativeTarget& t, std::string& error) {
    // The access list, owner and group, where they differ from what the new file was given;
    // a descriptor that cannot be set stops the rewrite.
    std::vector<unsigned char> was;
    std::vector<unsigned char> now;
    const SECURITY_INFORMATION what = kOwnership | DACL_SECURITY_INFORMATION;
    if (!SecurityOf(H(t.file), what, was)) {
        error = SystemReason("cannot keep the file's access list", ::GetLastError());
        return false;
    }
    if (!SecurityOf(H(t.replacement), what, now) || now != was) {
        if (!::SetKernelObjectSecurity(H(t.replacement), what, was.data())) {
            error = SystemReason("cannot keep the file's access list", ::GetLastError());
            return false;
        }
    }
    return true;
}

bool FlushReplacement(NativeTarget& t, std::string& error) {
    if (!::FlushFileBuffers(H(t.replacement))) {
        error = SystemReason("cannot flush", ::GetLastError());
        return false;
    }
    return true;
}

bool FlushReplacements(const std::vector<NativeTarget*>& targets, std::string& error) {
    return std::all_of(targets.begin(), targets.end(),
                       [&](NativeTarget* t) { return FlushReplacement(*t, error); });
}

bool NameReplacement(NativeTarget&, std::string&) {
    return true; // named when it was created: the system has no file without a name
}

bool SwapIn(NativeTarget& t, bool& exchanged, std::string& error) {
    // Both by handle: the original steps aside under a fresh name, the new file takes its name.
    // Only a program that creates a file of that name in between could come in the way.
    const std::string aside = FreshNameBeside(t.name);
    DWORD code = 0;
    if (!RenameByHandle(H(t.file), aside, code)) {
        error = SystemReason("cannot replace the file", code);
        return false;
    }
    if (!RenameByHandle(H(t.replacement), t.name, code)) {
        DWORD back = 0;
        if (!RenameByHandle(H(t.file), t.name, back))
            error = SystemReason(("cannot replace the file; the original is now " + aside).c_str(),
                                 code);
        else
            error = SystemReason("cannot replace the file", code);
        return false;
    }
    t.replacementName = aside;
    t.swapped = true;
    exchanged = true;
    return true;
}

bool SwappedOutIsTarget(const NativeTarget&) {
    return true; // it was moved by its own handle
}

bool SwapBack(NativeTarget& t, std::string& error) {
    const std::string aside = FreshNameBeside(t.name);
    DWORD code = 0;
    if (!RenameByHandle(H(t.replacement), aside, code) ||
        !RenameByHandle(H(t.file), t.name, code)) {
        error = SystemReason("cannot put the original back", code);
        return false;
    }
    t.replacementName = aside;
    t.swapped = false;
    return true;
}

void RemoveSwappedOut(NativeTarget& t) {
    DeleteByHandle(H(t.file));
    t.replacementName.clear();
}

bool AppendToTarget(NativeTarget&, std::string_view, std::string& error) {
    // Never needed: the new file is shared with no one, so no other program wrote into it. The
    // file that was read is open for reading only; the caller keeps the new file instead.
    error = "cannot write: the file is open for reading only";
    return false;
}

void KeepReplacement(NativeTarget& t, std::string& kept) {
    // Under the name it lies at, unless a visible one beside the file can be given.
    std::string path = t.replacementName;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string fresh = FreshNameBeside(t.name);
        const std::string name = t.name + ".conflict-" + fresh.substr(fresh.size() - 6);
        DWORD code = 0;
        if (RenameByHandle(H(t.replacement), name, code)) {
            path = name;
            break;
        }
    }
    kept = path.substr(path.find_last_of("\\/:") + 1); // npos + 1: the whole path
    CloseIfOpen(t.replacement);                        // closed, it is no longer removed
    t.replacementName.clear();
}

bool KeepOriginal(NativeTarget& t, const FolderRef& folder, const std::string& name, bool copy,
                  std::string& error) {
    // A second name on the same volume costs no copy; across volumes the bytes are copied. The
    // name is safe to use: no one else may rename or delete the file while it is held.
    const std::string path = folder.path + "\\" + name;
    if ((!copy && ::CreateHardLinkA(path.c_str(), t.name.c_str(), nullptr)) ||
        ::CopyFileA(t.name.c_str(), path.c_str(), TRUE))
        return true;
    error = SystemReason("cannot keep the original for undo", ::GetLastError());
    return false;
}

bool OpenForAppend(const std::string& path, NativeAppend& out, std::string& error) {
    // The system refuses everyone to write a read-only file; a Windows emulation that runs as
    // the superuser may not, so the attribute is asked first.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        error = SystemReason("cannot open", ERROR_ACCESS_DENIED);
        return false;
    }
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!RetryWhileHeld([&] {
            file = ::CreateFileA(path.c_str(), GENERIC_WRITE | GENERIC_READ, kShareReadWrite,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            return file != INVALID_HANDLE_VALUE;
        })) {
        error = SystemReason("cannot open", ::GetLastError());
        return false;
    }
    out.file = N(file);
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        error = "cannot open: not a regular file";
        return false;
    }
    return true;
}

bool LockAppend(NativeAppend& out, bool wait, const std::atomic<bool>* stop, bool& busy,
                std::string& error) {
    busy = false;
    HANDLE file = H(out.file);
    // Another veldran appending is waited for until its append is whole; tried again and again,
    // so that a stop ends the wait.
    for (;;) {
        OVERLAPPED whole{};
        if (::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                         MAXDWORD, &whole))
            break;
        const DWORD code = ::GetLastError();
        if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
            error = SystemReason("cannot lock", code);
            return false;
        }
        if (stop != nullptr && *stop) {
            error = "cannot lock: interrupted";
            return false;
        }
        if (!wait) {
            busy = true;
            return false;
        }
        ::Sleep(10);
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) {
        error = SystemReason("cannot open", ::GetLastError());
        return false;
    }
    out.start = static_cast<std::uint64_t>(size.QuadPart);
    return true;
}

bool AppendBytes(NativeAppend& out, std::string_view data, std::string& error) {
    DWORD code = 0;
    if (!WriteAll(H(out.file), data, code, true)) {
        error = SystemReason("cannot write", code);
        return false;
    }
    return true;
}

bool CloseAppend(NativeAppend& out, std::string& error) {
    HANDLE file = H(out.file);
    out.file = kNoHandle;
    if (!::CloseHandle(file)) {
        error = SystemReason("cannot write", ::GetLastError());
        return false;
    }
    return true;
}

void TruncateBack(NativeAppend& out) {
    // Only our own records lie past `start`: other veldran processes wait for the lock.
    LARGE_INTEGER start{};
    start.QuadPart = static_cast<LONGLONG>(out.start);
    if (out.file != kNoHandle && ::SetFilePointerEx(H(out.file), start, nullptr, FILE_BEGIN))
        ::SetEndOfFile(H(out.file));
    CloseIfOpen(out.file);
}

} // namespace native

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
    HANDLE file = INVALID_HANDLE_VALUE;
    if (!RetryWhileHeld([&] {
            file = ::CreateFileA(path.c_str(), GENERIC_READ, kShareReadWrite, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
            return file != INVALID_HANDLE_VALUE;
        })) {
        error = SystemReason("cannot open", ::GetLastError());
        return false;
    }
    if (::GetFileType(file) != FILE_TYPE_DISK) {
        ::CloseHandle(file);
        error = kNotRegular;
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

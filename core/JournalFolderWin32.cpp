// Windows steps of the undo journal's folders and files. The journal lies in the user's own
// temporary folder there, which other users cannot enter: folders are kept by their paths, and
// a folder or file that is a reparse point (a link) is refused.
#include "JournalFolder.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <filesystem>

namespace veldran::journalfs {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE H(NativeHandle h) {
    return reinterpret_cast<HANDLE>(h); // NOLINT(performance-no-int-to-ptr)
}

std::string SystemText(DWORD code) {
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
    return message.empty() ? "system error " + std::to_string(code) : message;
}

std::string Join(const Folder& folder, const std::string& name) {
    return folder.Path() + "\\" + name;
}

bool OpenFolderPath(const std::string& path, bool create, Folder& out, bool& missing, bool& exists,
                    std::string& error) {
    missing = false;
    exists = false;
    std::error_code ec;
    if (create && !std::filesystem::create_directory(path, ec)) {
        if (ec) {
            error = ec.message();
            return false;
        }
        exists = true;
    }
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        missing = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
        error = SystemText(code);
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        error = path + " is not a folder";
        return false;
    }
    out.Adopt(kNoHandle, path);
    return true;
}

bool OpenFile(const Folder& folder, const std::string& name, DWORD access, DWORD disposition,
              NativeHandle& file, std::string& error, DWORD& code) {
    HANDLE h = ::CreateFileA(Join(folder, name).c_str(), access, kShareAll, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        code = ::GetLastError();
        error = SystemText(code);
        return false;
    }
    file = reinterpret_cast<NativeHandle>(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
        ::GetFileType(h) != FILE_TYPE_DISK) {
        error = "not a regular file";
        return false;
    }
    return true;
}

} // namespace

Folder::~Folder() = default;

Folder::Folder(Folder&& other) noexcept : m_ref(std::move(other.m_ref)) {
    other.m_ref.path.clear();
}

Folder& Folder::operator=(Folder&& other) noexcept {
    m_ref = std::move(other.m_ref);
    other.m_ref.path.clear();
    return *this;
}

void Folder::Adopt(NativeHandle handle, std::string path) {
    m_ref.handle = handle;
    m_ref.path = std::move(path);
}

std::string UserTag() {
    char name[256] = {};
    DWORD size = sizeof name;
    return ::GetUserNameA(name, &size) ? std::string(name) : std::string("user");
}

bool OpenPrivate(const std::string& path, bool create, Folder& out, bool& missing,
                 std::string& error) {
    bool exists = false;
    return OpenFolderPath(path, create, out, missing, exists, error);
}

bool OpenChild(const Folder& parent, const std::string& name, bool create, Folder& out,
               bool& exists, std::string& error) {
    bool missing = false;
    return OpenFolderPath(Join(parent, name), create, out, missing, exists, error);
}

std::vector<std::string> Names(const Folder& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder.Path(), ec), end; !ec && it != end;
         it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

void RemoveChild(const Folder& parent, const std::string& name) {
    Folder child;
    bool exists = false;
    std::string error;
    if (!OpenChild(parent, name, false, child, exists, error))
        return;
    for (const std::string& entry : Names(child))
        ::DeleteFileA(Join(child, entry).c_str());
    ::RemoveDirectoryA(child.Path().c_str());
}

bool CreateOwnFile(const Folder& folder, const std::string& name, NativeHandle& file,
                   std::string& error) {
    DWORD code = 0;
    return OpenFile(folder, name, GENERIC_READ | GENERIC_WRITE, CREATE_NEW, file, error, code);
}

bool OpenOwnFile(const Folder& folder, const std::string& name, NativeHandle& file, bool& missing,
                 std::string& error) {
    DWORD code = 0;
    const bool opened =
        OpenFile(folder, name, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, file, error, code);
    missing = !opened && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND);
    return opened;
}

bool OpenKept(const Folder& folder, const std::string& name, NativeHandle& file,
              FileIdentity& identity, bool& missing, std::string& error) {
    DWORD code = 0;
    const bool opened = OpenFile(folder, name, GENERIC_READ, OPEN_EXISTING, file, error, code);
    missing = !opened && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND);
    return opened && native::Identify(file, identity);
}

bool TryLock(NativeHandle file, bool& busy, std::string& error) {
    OVERLAPPED whole{};
    busy = false;
    if (::LockFileEx(H(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                     MAXDWORD, &whole))
        return true;
    const DWORD code = ::GetLastError();
    busy = code == ERROR_LOCK_VIOLATION || code == ERROR_IO_PENDING;
    if (!busy)
        error = SystemText(code);
    return false;
}

bool ReadAll(NativeHandle file, std::string& data, std::string& error) {
    data.clear();
    LARGE_INTEGER start{};
    if (!::SetFilePointerEx(H(file), start, nullptr, FILE_BEGIN)) {
        error = SystemText(::GetLastError());
        return false;
    }
    char buffer[1 << 16];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(H(file), buffer, sizeof buffer, &got, nullptr)) {
            error = SystemText(::GetLastError());
            return false;
        }
        if (got == 0)
            return true;
        data.append(buffer, got);
    }
}

bool Append(NativeHandle file, std::string_view data, std::string& error) {
    LARGE_INTEGER end{};
    if (!::SetFilePointerEx(H(file), end, nullptr, FILE_END)) {
        error = SystemText(::GetLastError());
        return false;
    }
    while (!data.empty()) {
        DWORD wrote = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 30));
        if (!::WriteFile(H(file), data.data(), size, &wrote, nullptr)) {
            error = SystemText(::GetLastError());
            return false;
        }
        data.remove_prefix(wrote);
    }
    return true;
}

void TruncateTo(NativeHandle file, std::uint64_t size) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(size);
    if (::SetFilePointerEx(H(file), at, nullptr, FILE_BEGIN))
        ::SetEndOfFile(H(file));
}

std::uint64_t SizeOf(NativeHandle file) {
    LARGE_INTEGER size{};
    return ::GetFileSizeEx(H(file), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

bool Sync(NativeHandle file, const Folder&, std::string& error) {
    if (!::FlushFileBuffers(H(file))) {
        error = SystemText(::GetLastError());
        return false;
    }
    return true;
}

bool Rename(const Folder& folder, const std::string& from, const std::string& to,
            std::string& error) {
    if (!::MoveFileExA(Join(folder, from).c_str(), Join(folder, to).c_str(), 0)) {
        error = SystemText(::GetLastError());
        return false;
    }
    return true;
}

void Remove(const Folder& folder, const std::string& name) {
    ::DeleteFileA(Join(folder, name).c_str());
}

void Close(NativeHandle& file) {
    if (file != kNoHandle)
        ::CloseHandle(H(file));
    file = kNoHandle;
}

} // namespace veldran::journalfs

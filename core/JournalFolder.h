#pragma once
// The undo journal's folders and files. The journal trusts only what the user who runs veldran
// made: folders of that user, open to no one else, opened without following a link and used
// through their open handles from then on; files of that user, regular, never reached through a
// link. Each step returns false with a reason ("... belongs to another user", a system error).

#include "FilePrimitives.h"

#include <string>
#include <vector>

namespace veldran::journalfs {

// An open folder of the journal (POSIX: a descriptor; Windows: its path).
class Folder {
public:
    Folder() = default;
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;

    bool IsOpen() const { return !m_ref.path.empty(); }
    const FolderRef& Ref() const { return m_ref; }
    const std::string& Path() const { return m_ref.path; }
    // Takes over an open handle to the folder at `path`.
    void Adopt(NativeHandle handle, std::string path);

private:
    FolderRef m_ref;
};

// Tells one user's journal folder from another's in a shared folder (POSIX: the user id).
std::string UserTag();

// Opens the folder at `path`, making it (open to its owner only) when `create` asks and it is
// missing. `missing` tells that there was none to open.
bool OpenPrivate(const std::string& path, bool create, Folder& out, bool& missing,
                 std::string& error);
// The same for a folder inside `parent`; `exists` tells that `create` found one there already.
bool OpenChild(const Folder& parent, const std::string& name, bool create, Folder& out,
               bool& exists, std::string& error);
// The names in a folder.
std::vector<std::string> Names(const Folder& folder);
// Removes a folder inside `parent` and the files in it.
void RemoveChild(const Folder& parent, const std::string& name);

// A new file of the user's, readable and writable by the user only.
bool CreateOwnFile(const Folder& folder, const std::string& name, NativeHandle& file,
                   std::string& error);
// An existing file of the user's, for reading and appending.
bool OpenOwnFile(const Folder& folder, const std::string& name, NativeHandle& file, bool& missing,
                 std::string& error);
// A kept original, for reading: a regular file, not reached through a link. `missing` tells
// that there is none (its file went back during the Replace).
bool OpenKept(const Folder& folder, const std::string& name, NativeHandle& file,
              FileIdentity& identity, bool& missing, std::string& error);
// Takes the file's lock for as long as the handle is open; `busy` when another holds it.
bool TryLock(NativeHandle file, bool& busy, std::string& error);
bool ReadAll(NativeHandle file, std::string& data, std::string& error);
bool Append(NativeHandle file, std::string_view data, std::string& error);
void TruncateTo(NativeHandle file, std::uint64_t size);
std::uint64_t SizeOf(NativeHandle file);
// Makes the file's bytes and the folder's names durable.
bool Sync(NativeHandle file, const Folder& folder, std::string& error);
bool Rename(const Folder& folder, const std::string& from, const std::string& to,
            std::string& error);
void Remove(const Folder& folder, const std::string& name);
void Close(NativeHandle& file);

} // namespace veldran::journalfs

#pragma once
// The small steps that each platform supplies to the safe file access (SafeFilePosix.cpp,
// SafeFileWin32.cpp). The order of the steps and every check between them live in SafeFile.cpp.
// Each step returns false with a whole message ("cannot write: ...") when it fails.

#include "SafeFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace veldran {

// Descriptors on POSIX, HANDLE values on Windows; -1 is none on both.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

struct NativeTarget {
    NativeHandle file = kNoHandle; // the scheme file, open from the read to the end
    NativeHandle dir = kNoHandle;  // POSIX: the directory the name was resolved to, once
    std::string name;              // the file's name in that directory (Windows: its full path)
    NativeHandle replacement = kNoHandle; // the new file
    std::string replacementName;          // where the new file lies until it is swapped in
    bool readOnly = false;                // opened for reading only: it can be read, not replaced
    bool swapped = false; // the new file holds the name; the old one lies at replacementName
    // Closes what is open; a replacement that never got the name is removed.
    ~NativeTarget();
};

struct NativeAppend {
    NativeHandle file = kNoHandle;
    std::uint64_t start = 0; // the file's size when the lock was taken
    ~NativeAppend();
};

namespace native {

// Resolves `path` once, opens the file it names and refuses what is not a regular, writable
// file.
bool OpenTarget(const std::string& path, NativeTarget& target, std::string& error);
// Takes the file's lock, waiting (when `wait`) until no other veldran process rewrites the
// file; without `wait` a lock held elsewhere sets `busy`. A set `stop` ends the wait. `moved` tells
// that meanwhile the name was given to another file (the other process's result): the caller opens
// it anew.
bool LockTarget(NativeTarget& target, bool wait, const std::atomic<bool>* stop, bool& busy,
                bool& moved, std::string& error);
bool Identify(NativeHandle file, FileIdentity& identity);
// How far apart two changes of the file may be and still get the same time stamp: the file
// system's time stamp tick (nanoseconds).
std::int64_t TimestampTickNs(NativeHandle file);
// Reads from `offset`; 0 at the end, -1 on an error.
long long ReadAt(NativeHandle file, std::uint64_t offset, char* buffer, std::size_t size,
                 std::string& error);

// Creates the new file beside the target: without a name where the system allows (a run that is
// killed leaves nothing), else named, marked as veldran's own and locked while it lives. The
// first time in a directory, what killed runs left there is removed: only files so marked that
// no live run holds.
bool CreateReplacement(NativeTarget& target, std::string& error);
bool WriteReplacement(NativeTarget& target, std::string_view data, std::string& error);
// Owner and group, mode (setuid, setgid and sticky kept), ACL and extended attributes or
// attributes and security descriptor. Fails rather than leave wider permissions.
bool CopyMetadata(NativeTarget& target, std::string& error);
bool FlushReplacement(NativeTarget& target, std::string& error);
// The same for several: one flush of each file system where the system has it.
bool FlushReplacements(const std::vector<NativeTarget*>& targets, std::string& error);
// Gives the new file the name in the directory that the exchange needs, marked and locked as
// CreateReplacement says.
bool NameReplacement(NativeTarget& target, std::string& error);
// Puts the replacement under the name. With `exchanged`, the old file now lies at
// replacementName; without it (no exchange on this file system) it was renamed over, after
// one last check that the name still held the file that was read.
bool SwapIn(NativeTarget& target, bool& exchanged, std::string& error);
// Whether what was swapped out is the very file that was opened.
bool SwappedOutIsTarget(const NativeTarget& target);
// Undoes SwapIn: the swapped-out file gets its name back.
bool SwapBack(NativeTarget& target, std::string& error);
// Removes the swapped-out original; the rewrite is complete.
void RemoveSwappedOut(NativeTarget& target);
// Appends to the end of the file that was read (bytes another program wrote into the new file
// while it held the name).
bool AppendToTarget(NativeTarget& target, std::string_view data, std::string& error);
// Keeps the new file, not swapped in, for good under a visible name beside the target (in
// `kept`): another program wrote into it. Where no such name can be made it stays where it lies,
// no longer marked as a temporary.
void KeepReplacement(NativeTarget& target, std::string& kept);
// Keeps the open file as `name` in `folder`: a second name for the same file where the file
// system allows (and `copy` does not ask for a copy), otherwise a copy of the bytes that is the
// user's own, open to no one else, with no set-id bit.
bool KeepOriginal(NativeTarget& target, const FolderRef& folder, const std::string& name, bool copy,
                  std::string& error);

// Opens for appending without blocking, refuses a non-regular file and an unsafe symbolic link.
bool OpenForAppend(const std::string& path, NativeAppend& file, std::string& error);
// Takes the lock, waiting (when `wait`) while another veldran appends, and notes the size;
// without `wait` a lock held elsewhere sets `busy`. A set `stop` ends the wait.
bool LockAppend(NativeAppend& file, bool wait, const std::atomic<bool>* stop, bool& busy,
                std::string& error);
bool AppendBytes(NativeAppend& file, std::string_view data, std::string& error);
bool CloseAppend(NativeAppend& file, std::string& error);
// Cuts the file back to its size at the lock and closes it.
void TruncateBack(NativeAppend& file);

// Asks for large pages behind the memory at [data, data + size), which nothing has touched yet.
// Only a hint: where the system has none, nothing happens.
void AdviseLargePages(char* data, std::size_t size);

} // namespace native
} // namespace veldran

#pragma once
// File access that never loses a file or another program's write: a scheme file is rewritten
// through the handle it was read by, its replacement swapped in only while it is still the file
// that was read; records are appended under a lock, whole or not at all.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veldran {

// The steps of a file write, in the order in which they happen. `WaitForLock` is asked when the
// file's lock is found held by another veldran, before the wait for it begins. `Rename` is the
// moment just before the new file is swapped in under the file's name; `Exchanged` the moment
// after the exchange, before the file that was swapped out is checked; `SwapBack` the moment
// before a file that failed that check is put back (a test may act there, not fail it).
enum class WriteStep { WaitForLock, CreateTemp, Write, Flush, Rename, Exchanged, SwapBack };

// A seam for tests: asked before each step, a non-zero errno makes that step fail as if the
// system had refused it. A test may also act as another program there.
class WriteFaults {
public:
    virtual ~WriteFaults() = default;
    virtual int Inject(WriteStep step) = 0;
    // The time stamp tick that a read measures its "very lately changed" against, given the file
    // system's own; a test may widen it so that every read counts as recent.
    virtual std::int64_t TimestampTickNs(std::int64_t fileSystems) { return fileSystems; }
};

// Only the lock waits of `faults`, for the files written beside the one whose steps a test
// fails (the change log, the batch data file): they report their waits and nothing else.
class LockWaitsOf final : public WriteFaults {
public:
    explicit LockWaitsOf(WriteFaults* faults) : m_faults(faults) {}
    int Inject(WriteStep step) override {
        return step == WriteStep::WaitForLock && m_faults ? m_faults->Inject(step) : 0;
    }

private:
    WriteFaults* m_faults;
};

// What tells one state of a file from another, taken from an open handle: which file it is
// (device and inode; volume serial and file index), its size, its modification time and, where
// the system has one, its status change time (nanoseconds; 0 where there is none).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    bool operator==(const FileIdentity&) const = default;
    // The same file with the same content as far as size and modification time tell; the status
    // change time is left out, since swapping the file out under another name changes it.
    bool SameContent(const FileIdentity& other) const {
        return volume == other.volume && index == other.index && size == other.size &&
               modified == other.modified;
    }
};

// A folder opened once, to keep files in: its handle (POSIX; -1 elsewhere) and its path.
struct FolderRef {
    std::intptr_t handle = -1;
    std::string path;
};

struct NativeTarget; // the platform's open file and where it lies
struct NativeAppend; // the platform's open, locked output file

// A scheme file opened for a rewrite. The path is resolved once; every later step acts on the
// open handle and the directory it was found in, never on the name again. From Open to the
// end, other veldran processes wait for this one (an advisory lock on POSIX; on Windows the file
// is held open against every other writer).
class RewritableFile {
public:
    RewritableFile();
    ~RewritableFile();
    RewritableFile(const RewritableFile&) = delete;
    RewritableFile& operator=(const RewritableFile&) = delete;

    // Opens a regular file and waits for its lock. `stop`, when set during the wait, ends it
    // with a failure. With `busy`, it does not wait: a lock held elsewhere sets *busy and fails.
    // A wait is told to `faults` (WaitForLock) before it begins. `claim`, when given, is asked
    // with the identity of the opened file before its lock is taken: false leaves the file
    // alone, unlocked, and Open fails.
    using Claim = std::function<bool(const FileIdentity& opened)>;
    bool Open(const std::string& path, std::string& error, const std::atomic<bool>* stop = nullptr,
              bool* busy = nullptr, WriteFaults* faults = nullptr, const Claim& claim = {});
    // Reads the whole file into `data` (starting with room for its size). Fails when the file
    // changed while it was read. `data` must stay as it is until Replace: a file changed within
    // a timestamp tick of the read is compared with it byte for byte.
    bool Read(std::string& data, std::string& error, WriteFaults* faults = nullptr);
    // Puts `data` in place of what Read returned: written to a new file beside it, with the
    // owner, mode, ACL and extended attributes of the old one, flushed, and swapped in only if
    // the old one is still exactly what was read. On any failure the file is left as it is (the
    // other program's version, when one wrote meanwhile) and nothing of ours stays behind; what
    // another program wrote into the new file while it held the name is carried over (an
    // appended tail) or kept beside the file under a name the error gives.
    // The same as Prepare, Flush and SwapIn in a row.
    bool Replace(std::string_view data, std::string& error, WriteFaults* faults = nullptr);
    // The steps of Replace, so that a group of files can be made durable together.
    bool Prepare(std::string_view data, std::string& error, WriteFaults* faults = nullptr);
    bool Flush(std::string& error, WriteFaults* faults = nullptr);
    bool SwapIn(std::string& error, WriteFaults* faults = nullptr);
    // Keeps the file that was read as `name` in `folder` (for undo): a second name where the
    // file system allows, a copy otherwise (always, with `copy`). A copy is the user's own, open
    // to no one else. Should the file change before the swap, the swap goes back.
    bool KeepOriginal(const FolderRef& folder, const std::string& name, std::string& error,
                      bool copy = false);
    // The identity the prepared replacement will have under the name.
    bool ReplacementIdentity(FileIdentity& identity) const;
    // The identity of the file as Read found it.
    const FileIdentity& ReadIdentity() const { return m_read; }
    // Makes the prepared replacements of several files durable at once (one flush of each file
    // system where the system has it). On failure none of them counts as durable.
    static bool FlushTogether(const std::vector<RewritableFile*>& files, std::string& error,
                              WriteFaults* faults = nullptr);
    // Lets the file and its lock go; a replacement not swapped in is removed.
    void Close();

private:
    bool SwapBack(std::string& error, WriteFaults* faults);

    std::unique_ptr<NativeTarget> m_target;
    FileIdentity m_read;
    std::string_view m_readData; // checked after the swap when the file was changed very lately
    bool m_recent = false;
    // What was written into the replacement: its size and digest, to tell after a swap back
    // whether another program wrote into it while it held the name.
    std::uint64_t m_writtenSize = 0;
    std::uint64_t m_writtenDigest[2] = {0, 0};
};

// Opens, reads and replaces in one go (the file's current content is the state that counts).
bool ReplaceFileContent(const std::string& path, std::string_view data, std::string& error,
                        WriteFaults* faults = nullptr);

// Appends to a change log or batch data file: opened without blocking, never through a symbolic
// link that a shared sticky directory would make unsafe, refused when it is not a regular file,
// and locked, so that another veldran's records never interleave with these. What is appended is
// taken back whole if any part of it fails.
class Appender {
public:
    Appender();
    ~Appender(); // an append that was not committed is taken back
    Appender(const Appender&) = delete;
    Appender& operator=(const Appender&) = delete;

    // Waits for the lock while another veldran appends (told to `faults` as WaitForLock first);
    // `stop`, set during the wait, ends it with a failure.
    bool Open(const std::string& path, std::string& error, WriteFaults* faults = nullptr,
              const std::atomic<bool>* stop = nullptr);
    // Buffers `data`, writing out full blocks as it goes.
    bool Append(std::string_view data, std::string& error);
    // Writes what is buffered and closes the file.
    bool Commit(std::string& error);
    // Truncates the file back to where this append began and closes it.
    void Rollback();

private:
    bool WriteBuffered(std::string& error);
    std::unique_ptr<NativeAppend> m_file;
    std::string m_buffer;
    WriteFaults* m_faults = nullptr;
};

// Appends `data` whole, creating the file when it is missing.
bool AppendToFile(const std::string& path, std::string_view data, std::string& error,
                  WriteFaults* faults = nullptr, const std::atomic<bool>* stop = nullptr);

// Reads a whole regular file. On failure returns false and the reason.
bool ReadWholeFile(const std::string& path, std::string& data, std::string& error);

// Gives `buffer`, emptied, fresh room for `size` bytes. Room for a large file's text is backed by
// large pages where the system has them: a few page faults instead of one every 4 KB.
void ReserveText(std::string& buffer, std::size_t size);

// The path as the standard library's file system functions take it. On Windows the bytes are in
// the local code page and are converted as the system's own "A" functions convert them.
std::filesystem::path NativePath(const std::string& path);

// Deletes a file; a failure is of no interest to the caller.
void DeleteFileQuietly(const std::string& path);

// A regular file opened for streaming reads. A pipe, socket or device is refused before any
// read, so that nothing waits on it or reads it without end.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();
    bool Open(const std::string& path, std::string& error);
    // The size the file reports now; it may still change while it is read.
    std::size_t SizeHint() const;
    // Reads up to `size` bytes; 0 at the end; -1 on an error, with the reason.
    long long Read(char* buffer, std::size_t size, std::string& error);

private:
    int m_fd = -1;
};

} // namespace veldran

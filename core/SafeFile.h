#pragma once
// File access that never leaves a half-written file behind: whole-file reads, atomic
// replacement through a temporary file in the same directory, and single-write appends.

#include <filesystem>
#include <string>
#include <string_view>

namespace veldran {

// The steps of a file write, in the order in which they happen.
enum class WriteStep { CreateTemp, Write, Flush, Rename };

// A seam for tests: asked before each step, a non-zero errno makes that step fail as if the
// system had refused it.
class WriteFaults {
public:
    virtual ~WriteFaults() = default;
    virtual int Inject(WriteStep step) = 0;
};

// Reads a whole regular file. On failure returns false and the reason.
bool ReadWholeFile(const std::string& path, std::string& data, std::string& error);

// Replaces the content of the file at `path` by `data`: written to a temporary file beside it,
// flushed to disk, and renamed over it. A symbolic link is followed, the permission bits kept; a
// file that is not writable is refused, and so is one that another program changed meanwhile. On
// any failure the original is left byte for byte, the temporary file removed, and the reason
// returned.
bool ReplaceFileContent(const std::string& path, std::string_view data, std::string& error,
                        WriteFaults* faults = nullptr);

// Appends `data` with one write, creating the file when it is missing.
bool AppendToFile(const std::string& path, std::string_view data, std::string& error,
                  WriteFaults* faults = nullptr);

// The path as the standard library's file system functions take it. On Windows the bytes are in
// the local code page and are converted as the system's own "A" functions convert them.
std::filesystem::path NativePath(const std::string& path);

// Deletes a file; a failure is of no interest to the caller.
void DeleteFileQuietly(const std::string& path);

// A readable file opened for streaming reads.
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

#pragma once
// Temporary directories and small file helpers shared by the core tests.

#include <filesystem>
#include <string>

namespace veldran::test {

// A fresh directory under the system's temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// The text as this platform writes it into a text file: on Windows every "\n" as CR LF.
std::string Native(const std::string& text);
// A text file this platform wrote, read back with "\n" line ends. On Windows every newline must
// have been written as CR LF: a bare LF there throws.
std::string FromNative(const std::string& bytes);

#ifndef _WIN32
// Another veldran at work on a file: holds the file's lock until destroyed.
class HeldLock {
public:
    explicit HeldLock(const std::string& path);
    ~HeldLock();
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    int m_fd = -1;
};
#endif

} // namespace veldran::test

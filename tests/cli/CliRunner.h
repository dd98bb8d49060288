#pragma once
// Runs the built veldran-cli as a child process on temporary files and collects what it did.

#include "Platform.h"
#include "TestSupport.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veldran::clitest {

// Under AddressSanitizer the program reserves terabytes of address space and needs several times
// its memory: limits of memory and peaks of it say nothing there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// What veldran-cli writes to its test event descriptor when it starts to wait for a lock.
inline constexpr std::string_view kLockWaitEvent = "waiting for a lock";

// The test's end of the events a run of the program tells (POSIX): the lines it writes to the
// descriptor that VELDRAN_TEST_EVENTS_FD names, read as they come.
class ChildEvents {
public:
    explicit ChildEvents(int fd = -1) : m_fd(fd) {}
    ~ChildEvents();
    ChildEvents(const ChildEvents&) = delete;
    ChildEvents& operator=(const ChildEvents&) = delete;
    // Blocks until the program writes the line `line`; false when it ended without doing so.
    bool WaitFor(std::string_view line);

private:
    int m_fd;
    std::string m_read; // read and not yet taken
};

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;
bool Exists(const std::string& path);

struct RunSettings {
    std::optional<std::string> envTable; // TB_ENV_TABLE; unset in the child when empty
    std::string workDir;                 // the child's working directory; ours when empty
    std::string stdoutPath;              // stdout goes into this file; captured when empty
    // POSIX only: limits of the child (bytes; none when 0), stdout a pipe that no one reads,
    // and what the test does while the child runs (given its process id and its events).
    std::uint64_t fileSizeLimit = 0;
    std::uint64_t memoryLimit = 0;
    bool stdoutUnread = false;
    std::function<void(int pid, ChildEvents& events)> whileRunning;
    bool events = false; // the child tells its events (always with whileRunning)
};

struct CliRun {
    int exitCode = -1;      // -1 when the program did not exit normally
    long maxResidentKb = 0; // the child's peak memory
    std::string out;
    std::string err;
};

CliRun RunCli(const std::vector<std::string>& args, const RunSettings& settings = {});

// Whether this machine can give a pseudo-terminal (a container may have none).
bool PseudoTerminalsAvailable();

// A run whose stderr is a pseudo-terminal, started now and collected by Finish.
class TerminalRun {
public:
    TerminalRun(const std::vector<std::string>& args, const RunSettings& settings);
    ~TerminalRun();
    TerminalRun(const TerminalRun&) = delete;
    TerminalRun& operator=(const TerminalRun&) = delete;
    // Waits for the program; `err` is everything it wrote to the terminal, byte for byte.
    CliRun Finish();
#ifndef _WIN32
    // The program's events, when the settings asked for them.
    ChildEvents& Events() {
        return *m_events;
    }
#endif

private:
    TempDir m_capture;
#ifndef _WIN32
    std::unique_ptr<ChildEvents> m_events;
#endif
    int m_master = -1;
    int m_pid = -1;
};

// A demo environment in a temporary directory: scheme, log and batch data directories and an
// environment table that names them (without trailing separators, which the table rule adds).
struct Workspace {
    TempDir dir;
    std::string schemes;
    std::string log;
    std::string data;
    std::string table;

    Workspace();
    // Writes a scheme file and returns its path.
    std::string Scheme(const std::string& name, const std::string& bytes) const;
    RunSettings Env() const;
    std::string LogFile() const { return log + veldran::kDirSeparator + "VELDRAN.log"; }
    std::string BatchFile() const { return data + veldran::kDirSeparator + "VELDRAN_BATCH.dat"; }
};

// A change log with each record's time stamp replaced by "TS". Fails the test when a line is
// neither empty nor starts with a well-formed time stamp and the separator.
std::string MaskTimeStamps(const std::string& log);

// Text as this platform writes it into a text file: on Windows every "\n" as CR LF.
std::string Native(const std::string& text);
// Text this platform wrote, as a text-mode read gives it: on Windows each CR LF as "\n". Fails
// the test there when a newline was written without its CR.
std::string TextMode(const std::string& bytes);

// The system's reason for a path that names nothing: the file itself is missing, or a directory
// on its way.
std::string NoSuchFile();
std::string NoSuchDirectory();

} // namespace veldran::clitest

#include "CliRunner.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;
#endif

namespace veldran::clitest {

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

// Starting the program: on Windows in tests/windows/CliRunnerWin32.cpp.
#ifndef _WIN32
namespace {

// Where the child finds the write end of its event pipe: high, so that no descriptor the child
// is started with is in the way.
constexpr int kChildEventsFd = 100;

// Everything the child needs, prepared before the fork so the child only calls exec-safe code.
struct ChildSetup {
    std::vector<std::string> argStore;
    std::vector<char*> argv;
    std::vector<std::string> envStore;
    std::vector<char*> envp;
    int events[2] = {-1, -1}; // the event pipe: the test reads, the child writes

    ChildSetup(const std::vector<std::string>& args, const RunSettings& settings) {
        argStore.push_back(VELDRAN_CLI);
        argStore.insert(argStore.end(), args.begin(), args.end());
        for (std::string& a : argStore)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string variable = "TB_ENV_TABLE=";
        for (char** e = environ; *e != nullptr; ++e)
            if (std::strncmp(*e, variable.c_str(), variable.size()) != 0)
                envStore.emplace_back(*e);
        if (settings.envTable)
            envStore.push_back(variable + *settings.envTable);
        if (settings.events || settings.whileRunning) {
            if (::pipe2(events, O_CLOEXEC) != 0)
                throw std::runtime_error("cannot make a pipe");
            envStore.push_back("VELDRAN_TEST_EVENTS_FD=" + std::to_string(kChildEventsFd));
        }
        for (std::string& e : envStore)
            envp.push_back(e.data());
        envp.push_back(nullptr);
    }
    // In the parent after the fork: only the child writes events, so the test's read ends when
    // the child is gone.
    int TakeEvents() {
        if (events[1] >= 0)
            ::close(events[1]);
        return events[0];
    }
};

[[noreturn]] void ExecChild(ChildSetup& setup, const RunSettings& settings, int outFd, int errFd) {
    const int in = ::open("/dev/null", O_RDONLY);
    if (in < 0 || ::dup2(in, 0) < 0 || ::dup2(outFd, 1) < 0 || ::dup2(errFd, 2) < 0)
        ::_exit(126);
    if (!settings.workDir.empty() && ::chdir(settings.workDir.c_str()) != 0)
        ::_exit(126);
    const int events = setup.events[1];
    if (events >= 0 && (events == kChildEventsFd ? ::fcntl(events, F_SETFD, 0)
                                                 : ::dup2(events, kChildEventsFd)) < 0)
        ::_exit(126);
    for (const auto& [resource, limit] : {std::pair{RLIMIT_FSIZE, settings.fileSizeLimit},
                                          std::pair{RLIMIT_AS, settings.memoryLimit}}) {
        const struct rlimit value { limit, limit };
        if (limit != 0 && ::setrlimit(resource, &value) != 0)
            ::_exit(126);
    }
    ::execve(setup.argv[0], setup.argv.data(), setup.envp.data());
    ::_exit(127);
}

int OpenForCapture(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path);
    return fd;
}

int WaitFor(int pid, long* maxResidentKb = nullptr) {
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR)
            return -1;
    if (maxResidentKb != nullptr)
        *maxResidentKb = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

ChildEvents::~ChildEvents() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ChildEvents::WaitFor(std::string_view line) {
    for (;;) {
        for (std::size_t end = m_read.find('\n'); end != std::string::npos;
             end = m_read.find('\n')) {
            const bool found = std::string_view(m_read).substr(0, end) == line;
            m_read.erase(0, end + 1);
            if (found)
                return true;
        }
        char buffer[256];
        const ssize_t n = m_fd < 0 ? 0 : ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        m_read.append(buffer, static_cast<std::size_t>(n));
    }
}

CliRun RunCli(const std::vector<std::string>& args, const RunSettings& settings) {
    TempDir capture;
    const std::string outPath =
        settings.stdoutPath.empty() ? capture.File("stdout") : settings.stdoutPath;
    const std::string errPath = capture.File("stderr");
    int outFd = -1;
    if (settings.stdoutUnread) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot make a pipe");
        ::close(ends[0]);
        outFd = ends[1];
    } else {
        outFd = OpenForCapture(outPath);
    }
    const int errFd = OpenForCapture(errPath);
    ChildSetup setup(args, settings);
    const pid_t pid = ::fork();
    if (pid == 0)
        ExecChild(setup, settings, outFd, errFd);
    ::close(outFd);
    ::close(errFd);
    ChildEvents events(setup.TakeEvents());
    if (pid < 0)
        throw std::runtime_error("cannot start veldran-cli");
    if (settings.whileRunning)
        settings.whileRunning(pid, events);
    CliRun run;
    run.exitCode = WaitFor(pid, &run.maxResidentKb);
    if (settings.stdoutPath.empty() && !settings.stdoutUnread)
        run.out = ReadBytes(outPath);
    run.err = ReadBytes(errPath);
    return run;
}

bool PseudoTerminalsAvailable() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return false;
    ::close(master);
    return true;
}

TerminalRun::TerminalRun(const std::vector<std::string>& args, const RunSettings& settings) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        throw std::runtime_error("cannot open the pseudo-terminal");
    // Raw output, so the bytes read back are the bytes the program wrote.
    termios mode{};
    ::tcgetattr(slave, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(slave, TCSANOW, &mode);
    const int outFd = OpenForCapture(m_capture.File("stdout"));
    ChildSetup setup(args, settings);
    m_pid = ::fork();
    if (m_pid == 0)
        ExecChild(setup, settings, outFd, slave);
    ::close(outFd);
    ::close(slave);
    m_events = std::make_unique<ChildEvents>(setup.TakeEvents());
    if (m_pid < 0)
        throw std::runtime_error("cannot start veldran-cli");
}

TerminalRun::~TerminalRun() {
    if (m_pid > 0)
        WaitFor(m_pid);
    if (m_master >= 0)
        ::close(m_master);
}

CliRun TerminalRun::Finish() {
    CliRun run;
    run.exitCode = WaitFor(m_pid);
    m_pid = -1;
    // With the program gone, the terminal gives what it still holds, then reports an error.
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        run.err.append(buffer, static_cast<std::size_t>(n));
    }
    run.out = ReadBytes(m_capture.File("stdout"));
    return run;
}

std::string NoSuchFile() {
    return std::strerror(ENOENT);
}

std::string NoSuchDirectory() {
    return std::strerror(ENOENT);
}

#endif // _WIN32

Workspace::Workspace()
    : schemes(dir.File("schemes")), log(dir.File("log")), data(dir.File("data")),
      table(dir.File("env_table.txt")) {
    for (const std::string* d : {&schemes, &log, &data})
        std::filesystem::create_directory(*d);
    WriteBytes(table, "SB_PROJECT=Test Hull\nSB_SHIPSCH=" + schemes + "\nSB_SHIPDATA=" + data +
                          "\nSB_TEMP=" + log + "\n");
}

std::string Workspace::Scheme(const std::string& name, const std::string& bytes) const {
    std::string path = schemes + "/" + name;
    WriteBytes(path, bytes);
    return path;
}

RunSettings Workspace::Env() const {
    RunSettings settings;
    settings.envTable = table;
    return settings;
}

std::string Native(const std::string& text) {
    if constexpr (!veldran::kIsWindows)
        return text;
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

std::string TextMode(const std::string& bytes) {
    if constexpr (!veldran::kIsWindows)
        return bytes;
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            ADD_FAILURE() << "a newline without its CR at byte " << i;
        out.push_back(bytes[i]);
    }
    return out;
}

std::string MaskTimeStamps(const std::string& nativeLog) {
    const std::string log = TextMode(nativeLog);
    // "dd/mm/yyyy hh:mm:ss -> "
    constexpr std::string_view shape = "00/00/0000 00:00:00 -> ";
    std::string masked;
    std::size_t pos = 0;
    while (pos < log.size()) {
        std::size_t end = log.find('\n', pos);
        end = end == std::string::npos ? log.size() : end + 1;
        const std::string_view line(log.data() + pos, end - pos);
        if (line != "\n") {
            bool stamped = line.size() > shape.size();
            for (std::size_t i = 0; stamped && i < shape.size(); ++i)
                stamped = shape[i] == '0' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                          : shape[i] == line[i];
            EXPECT_TRUE(stamped) << "log line without a time stamp: " << line;
            if (stamped) {
                masked += "TS";
                masked += line.substr(shape.size() - 4);
            } else {
                masked += line;
            }
        } else {
            masked += line;
        }
        pos = end;
    }
    return masked;
}

} // namespace veldran::clitest

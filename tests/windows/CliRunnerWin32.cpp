// Windows side of the command line tests' runner: veldran-cli.exe started with CreateProcess,
// its standard output and error captured in files.
#include "CliRunner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstring>
#include <stdexcept>

namespace veldran::clitest {

namespace {

// One argument quoted so that the C runtime's command-line parser gives it back unchanged.
std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos)
        return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, '\\');
    out.push_back('"');
    return out;
}

bool IsTableVariable(const char* entry) {
    const std::string_view name = "TB_ENV_TABLE=";
    for (std::size_t i = 0; i < name.size(); ++i)
        if (entry[i] == '\0' || std::toupper(static_cast<unsigned char>(entry[i])) !=
                                    static_cast<unsigned char>(name[i]))
            return false;
    return true;
}

// Our environment without TB_ENV_TABLE, then the table the run asks for.
std::string EnvironmentBlock(const RunSettings& settings) {
    std::string block;
    char* const strings = ::GetEnvironmentStringsA();
    for (const char* e = strings; *e != '\0'; e += std::strlen(e) + 1)
        if (!IsTableVariable(e))
            block.append(e).push_back('\0');
    ::FreeEnvironmentStringsA(strings);
    if (settings.envTable)
        block.append("TB_ENV_TABLE=" + *settings.envTable).push_back('\0');
    block.push_back('\0');
    return block;
}

HANDLE Inheritable(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE file = ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      &inherit, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot open " + path);
    return file;
}

// The system's own text for an error, as the program reports it: without the closing full stop
// and line end.
std::string SystemText(DWORD code) {
    char* text = nullptr;
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message(text != nullptr ? text : "", n);
    if (text != nullptr)
        ::LocalFree(text);
    while (!message.empty() && std::strchr("\r\n .", message.back()) != nullptr)
        message.pop_back();
    return message;
}

} // namespace

CliRun RunCli(const std::vector<std::string>& args, const RunSettings& settings) {
    TempDir capture;
    const std::string outPath =
        settings.stdoutPath.empty() ? capture.File("stdout") : settings.stdoutPath;
    const std::string errPath = capture.File("stderr");

    std::string command = Quote(VELDRAN_CLI);
    for (const std::string& a : args)
        command += " " + Quote(a);
    std::string environment = EnvironmentBlock(settings);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = Inheritable("NUL", GENERIC_READ, OPEN_EXISTING);
    startup.hStdOutput = Inheritable(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    startup.hStdError = Inheritable(errPath, GENERIC_WRITE, CREATE_ALWAYS);
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessA(
        VELDRAN_CLI, command.data(), nullptr, nullptr, TRUE, 0, environment.data(),
        settings.workDir.empty() ? nullptr : settings.workDir.c_str(), &startup, &process);
    ::CloseHandle(startup.hStdInput);
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
    if (!started)
        throw std::runtime_error("cannot start veldran-cli");

    CliRun run;
    DWORD code = 0;
    if (::WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
        ::GetExitCodeProcess(process.hProcess, &code) && code < 0xC0000000u)
        run.exitCode = static_cast<int>(code); // NTSTATUS failures are crashes, not exits
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    if (settings.stdoutPath.empty())
        run.out = TextMode(ReadBytes(outPath));
    run.err = TextMode(ReadBytes(errPath));
    return run;
}

std::string NoSuchFile() {
    return SystemText(ERROR_FILE_NOT_FOUND);
}

std::string NoSuchDirectory() {
    return SystemText(ERROR_PATH_NOT_FOUND);
}

// Windows has no pseudo-terminals of the POSIX kind.
bool PseudoTerminalsAvailable() {
    return false;
}

TerminalRun::TerminalRun(const std::vector<std::string>&, const RunSettings&) {
    throw std::runtime_error("no pseudo-terminal");
}

TerminalRun::~TerminalRun() = default;

CliRun TerminalRun::Finish() {
    return {};
}

} // namespace veldran::clitest

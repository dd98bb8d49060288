// veldran-cli: the window's Replace, Find Only, Create batch file and Undo Last Replace on files
// named on the command line.
#include "CommandLine.h"
#include "Commands.h"
#include "Reporter.h"
#include "Signals.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#ifndef VELDRAN_VERSION
#define VELDRAN_VERSION "unknown"
#endif

using namespace veldran::cli;

namespace {

int Run(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedCommandLine parsed = ParseCommandLine(args);
    const Options& options = parsed.options;
    if (!parsed.error.empty()) {
        const std::string text =
            std::string(kProgramName) + ": " + parsed.error + "\n" + UsageText(options.command);
        std::fputs(text.c_str(), stderr);
        return kExitUsage;
    }
    InstallSignalHandlers();
    Reporter report(stdout, stderr);
    if (options.version) {
        report.Result(std::string(kProgramName) + " " + VELDRAN_VERSION);
        return report.FinishResults() ? kExitOk : kExitFailure;
    }
    if (options.help) {
        std::string help = HelpText(options.command);
        help.pop_back(); // Result adds the last line end
        report.Result(help);
        return report.FinishResults() ? kExitOk : kExitFailure;
    }
    switch (options.command) {
    case Command::Replace:
        return options.dryRun ? RunDryRun(options, report) : RunReplace(options, report);
    case Command::Find:
        return RunFind(options, report);
    case Command::Batch:
        return RunBatch(options, report);
    case Command::Env:
        return RunEnv(report);
    case Command::Undo:
        return RunUndo(options, report);
    case Command::None:
        break;
    }
    return kExitUsage;
}

} // namespace

// Whatever no command could handle ends the program with a message and status 1, never an
// abort: every file finished before stays as it was reported.
int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", std::string(kProgramName).c_str(), e.what());
        return kExitFailure;
    } catch (...) {
        std::fprintf(stderr, "%s: an unknown error\n", std::string(kProgramName).c_str());
        return kExitFailure;
    }
}

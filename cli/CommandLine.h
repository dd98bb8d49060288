#pragma once
// The command line of veldran-cli: what was asked for, or why it cannot be understood. The
// commands and their options are one table, which both the parser and the help are made from.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veldran::cli {

enum class Command { None, Replace, Find, Batch, Env, Undo };

// Defaults are those of the window when it opens: log on, batch data off, nothing deleted.
struct Options {
    Command command = Command::None;
    bool help = false;
    bool version = false;
    std::optional<std::string> find;
    std::optional<std::string> replace;
    bool createLog = true;
    std::string logName;
    bool deleteLog = false;
    bool createBatchData = false;
    std::string batchName;
    bool deleteBatch = false;
    unsigned jobs = 0;   // files rewritten at once; 0: one per core
    bool dryRun = false; // change nothing, show what would change
    bool noUndo = false; // keep no undo journal
    std::vector<std::string> files;
};

struct ParsedCommandLine {
    Options options;
    std::string error; // empty when the command line is usable
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args);

// The synopsis of one command, or of every command for Command::None.
std::string UsageText(Command command);

// The full help of one command, or of the program for Command::None.
std::string HelpText(Command command);

} // namespace veldran::cli

#include "CommandLine.h"

#include <algorithm>
#include <array>

namespace veldran::cli {

namespace {

enum class OptionId {
    Find,
    Replace,
    NoLog,
    LogName,
    DeleteLog,
    BatchData,
    BatchName,
    DeleteBatch,
    Help
};

// Which commands accept an option.
constexpr unsigned kOnReplace = 1;
constexpr unsigned kOnFind = 2;
constexpr unsigned kOnBatch = 4;
constexpr unsigned kOnEnv = 8;

struct KnownOption {
    std::string_view longName;
    char shortName; // 0 when there is none
    bool takesValue;
    OptionId id;
    unsigned commands;
};

constexpr std::array<KnownOption, 9> kOptions{{
    {"find", 'f', true, OptionId::Find, kOnReplace | kOnFind},
    {"replace", 'r', true, OptionId::Replace, kOnReplace},
    {"no-log", 0, false, OptionId::NoLog, kOnReplace},
    {"log-name", 0, true, OptionId::LogName, kOnReplace},
    {"delete-log", 0, false, OptionId::DeleteLog, kOnReplace},
    {"batch-data", 0, false, OptionId::BatchData, kOnReplace},
    {"batch-name", 0, true, OptionId::BatchName, kOnReplace | kOnBatch},
    {"delete-batch", 0, false, OptionId::DeleteBatch, kOnReplace | kOnBatch},
    {"help", 0, false, OptionId::Help, kOnReplace | kOnFind | kOnBatch | kOnEnv},
}};

unsigned CommandBit(Command command) {
    switch (command) {
    case Command::Replace:
        return kOnReplace;
    case Command::Find:
        return kOnFind;
    case Command::Batch:
        return kOnBatch;
    case Command::Env:
        return kOnEnv;
    case Command::None:
        break;
    }
    return 0;
}

// The option of `command` that `match` picks, or nullptr.
template <typename Match> const KnownOption* FindOption(Command command, Match match) {
    const auto it = std::find_if(kOptions.begin(), kOptions.end(), [&](const KnownOption& known) {
        return (known.commands & CommandBit(command)) != 0 && match(known);
    });
    return it == kOptions.end() ? nullptr : &*it;
}

const KnownOption* FindLong(std::string_view name, Command command) {
    return FindOption(command, [name](const KnownOption& known) { return known.longName == name; });
}

const KnownOption* FindShort(char name, Command command) {
    return FindOption(
        command, [name](const KnownOption& known) { return name != 0 && known.shortName == name; });
}

void Apply(const KnownOption& known, std::string value, Options& o) {
    switch (known.id) {
    case OptionId::Find:
        o.find = std::move(value);
        break;
    case OptionId::Replace:
        o.replace = std::move(value);
        break;
    case OptionId::NoLog:
        o.createLog = false;
        break;
    case OptionId::LogName:
        o.logName = std::move(value);
        break;
    case OptionId::DeleteLog:
        o.deleteLog = true;
        break;
    case OptionId::BatchData:
        o.createBatchData = true;
        break;
    case OptionId::BatchName:
        o.batchName = std::move(value);
        break;
    case OptionId::DeleteBatch:
        o.deleteBatch = true;
        break;
    case OptionId::Help:
        o.help = true;
        break;
    }
}

std::string Quoted(std::string_view text) {
    std::string quoted = "'";
    quoted.append(text).push_back('\'');
    return quoted;
}

// What the command needs once every argument has been read; empty when it has it.
std::string Missing(const Options& o) {
    switch (o.command) {
    case Command::Replace:
        if (!o.find)
            return "missing --find";
        if (!o.replace)
            return "missing --replace";
        break;
    case Command::Find:
        if (!o.find)
            return "missing --find";
        break;
    case Command::Env:
        if (!o.files.empty())
            return "unexpected argument " + Quoted(o.files.front());
        return {};
    case Command::Batch:
    case Command::None:
        break;
    }
    if (o.files.empty())
        return "no files given";
    return {};
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
    ParsedCommandLine parsed;
    Options& o = parsed.options;
    if (args.empty()) {
        parsed.error = "no command given";
        return parsed;
    }
    const std::string_view first = args.front();
    if (first == "--help") {
        o.help = true;
        return parsed;
    }
    if (first == "--version") {
        o.version = true;
        return parsed;
    }
    if (first == "replace")
        o.command = Command::Replace;
    else if (first == "find")
        o.command = Command::Find;
    else if (first == "batch")
        o.command = Command::Batch;
    else if (first == "env")
        o.command = Command::Env;
    else {
        parsed.error =
            (first.size() > 1 && first[0] == '-' ? "unknown option " : "unknown command ") +
            Quoted(first);
        return parsed;
    }

    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            o.files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const KnownOption* known = nullptr;
        std::string_view shown; // the option as the user typed it, for messages
        std::optional<std::string_view> attached;
        if (arg[1] == '-') {
            const std::size_t eq = arg.find('=');
            shown = arg.substr(0, eq);
            if (eq != std::string_view::npos)
                attached = arg.substr(eq + 1);
            known = FindLong(shown.substr(2), o.command);
        } else {
            shown = arg.substr(0, 2);
            if (arg.size() > 2)
                attached = arg.substr(2);
            known = FindShort(arg[1], o.command);
            // A short option that takes no value cannot carry one.
            if (known != nullptr && !known->takesValue && attached)
                known = nullptr;
            if (known == nullptr)
                shown = arg;
        }
        if (known == nullptr) {
            parsed.error = "unknown option " + Quoted(shown);
            return parsed;
        }
        std::string value;
        if (known->takesValue) {
            if (attached)
                value = *attached;
            else if (i + 1 < args.size())
                value = args[++i];
            else {
                parsed.error = "option " + Quoted(shown) + " needs a value";
                return parsed;
            }
        } else if (attached) {
            parsed.error = "option " + Quoted(shown) + " takes no value";
            return parsed;
        }
        Apply(*known, std::move(value), o);
        if (o.help)
            return parsed;
    }
    parsed.error = Missing(o);
    return parsed;
}

namespace {

constexpr std::string_view kReplaceSynopsis =
    "veldran-cli replace --find TEXT --replace TEXT [--no-log] [--log-name NAME] [--delete-log]\n"
    "                           [--batch-data] [--batch-name NAME] [--delete-batch] FILE...\n";
constexpr std::string_view kFindSynopsis = "veldran-cli find --find TEXT FILE...\n";
constexpr std::string_view kBatchSynopsis =
    "veldran-cli batch [--batch-name NAME] [--delete-batch] FILE...\n";
constexpr std::string_view kEnvSynopsis = "veldran-cli env\n";

constexpr std::string_view kTextNote =
    "TEXT is taken exactly as typed: no escapes, no trimming, letter case counts; \"\" is an\n"
    "empty text. Options and files may come in any order; after -- every argument is a file.\n";

constexpr std::string_view kOutputFilesNote =
    "The change log is SB_TEMP + NAME + \".log\" and the batch data file SB_SHIPDATA + NAME +\n"
    "\".dat\", with the directories of the environment table named by TB_ENV_TABLE.\n";

} // namespace

std::string UsageText(Command command) {
    std::string text = "usage: ";
    switch (command) {
    case Command::Replace:
        return text.append(kReplaceSynopsis);
    case Command::Find:
        return text.append(kFindSynopsis);
    case Command::Batch:
        return text.append(kBatchSynopsis);
    case Command::Env:
        return text.append(kEnvSynopsis);
    case Command::None:
        break;
    }
    const std::string_view indent = "       ";
    text.append(kReplaceSynopsis);
    text.append(indent).append(kFindSynopsis);
    text.append(indent).append(kBatchSynopsis);
    text.append(indent).append(kEnvSynopsis);
    text.append(indent).append("veldran-cli --help | --version\n");
    text.append(indent).append("veldran-cli COMMAND --help\n");
    return text;
}

std::string HelpText(Command command) {
    std::string text = UsageText(command);
    text.push_back('\n');
    switch (command) {
    case Command::Replace:
        text.append(
            "Replaces every occurrence of the find text in each FILE, in the order given, and\n"
            "breaks each line longer than 72 characters once after a comma, as the window's\n"
            "Replace does. Prints the path of each file in which a replacement was made. A file\n"
            "whose lines were only wrapped, or whose line ends were only converted, is rewritten\n"
            "too and counted as reformatted in the summary, but not printed, logged or recorded.\n"
            "\n"
            "  -f, --find TEXT        the text to find\n"
            "  -r, --replace TEXT     the replacement text\n"
            "      --no-log           write no change log (each changed line is logged otherwise)\n"
            "      --log-name NAME    base name of the change log (default VELDRAN)\n"
            "      --delete-log       delete the change log first\n"
            "      --batch-data       append the path of each changed file to the batch data file\n"
            "      --batch-name NAME  base name of the batch data file (default VELDRAN_BATCH)\n"
            "      --delete-batch     delete the batch data file first\n"
            "\n");
        text.append(kTextNote).append(kOutputFilesNote);
        text.append("\nExit status: 0 when every file was handled, 1 when a file, the change log, "
                    "the\nbatch data file or the environment table failed, 2 on wrong usage, "
                    "128 + N when\nsignal N stopped the run (the file in hand is finished or left "
                    "as it was).\n");
        break;
    case Command::Find:
        text.append("Prints the path of each FILE that contains the find text, as the window's "
                    "Find Only\nmarks it. No file is changed. Lines are searched in pieces of at "
                    "most 255\ncharacters; an empty find text is found in every file that is not "
                    "empty.\n"
                    "\n"
                    "  -f, --find TEXT        the text to find\n"
                    "\n");
        text.append(kTextNote);
        text.append("\nExit status: 0 when some file matched, 1 when none did, 2 on wrong usage "
                    "or when\na file could not be read.\n");
        break;
    case Command::Batch:
        text.append("Appends the paths, each on its own line, then one empty line, to the batch "
                    "data\nfile, as the window's Create batch file does, and prints the file's "
                    "path. The\nFILEs themselves are not opened.\n"
                    "\n"
                    "      --batch-name NAME  base name of the batch data file (default "
                    "VELDRAN_BATCH)\n"
                    "      --delete-batch     delete the batch data file first\n"
                    "\n");
        text.append(kOutputFilesNote);
        text.append("\nExit status: 0 when the batch data file was written, 1 when it could not "
                    "be,\n2 on wrong usage.\n");
        break;
    case Command::Env:
        text.append("Prints the project line and the scheme, log and batch data directories "
                    "that the\nwindow takes from the environment table named by TB_ENV_TABLE.\n");
        break;
    case Command::None:
        text.append("The find-and-replace of veldran over scheme files, without a window. It "
                    "reads the\nsame environment table and writes the same files as the "
                    "window's commands.\n"
                    "\n"
                    "  replace   Replace: rewrite the files, log the changes\n"
                    "  find      Find Only: list the files that contain a text\n"
                    "  batch     Create batch file: write the paths into the batch data file\n"
                    "  env       show what the environment table gives\n"
                    "\n"
                    "'veldran-cli COMMAND --help' shows the options of a command.\n");
        break;
    }
    return text;
}

} // namespace veldran::cli

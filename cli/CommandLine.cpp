#include "CommandLine.h"

#include "OutputPaths.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <functional>
#include <memory>

namespace veldran::cli {

namespace {

constexpr std::string_view kProgram = "veldran-cli";
constexpr std::size_t kWidth = 100;       // help lines end before this column
constexpr std::size_t kOptionColumn = 25; // where the description of an option starts

std::string Quoted(std::string_view text) {
    std::string quoted = "'";
    quoted.append(text).push_back('\'');
    return quoted;
}

// CLI11 reads an argument "[a,b]" as a list of two, and after "--name=" takes the next argument
// as the value. A zero byte, which no argument can hold, appended to such an argument keeps it
// as typed; it is taken out of every value again.
constexpr char kAsTyped = '\0';

std::string AsTyped(std::string text) {
    std::erase(text, kAsTyped);
    return text;
}

// The arguments as CLI11 takes them: last first.
std::vector<std::string> ForCli11(std::vector<std::string_view>::const_iterator begin,
                                  std::vector<std::string_view>::const_iterator end) {
    std::vector<std::string> args;
    for (auto it = end; it != begin;) {
        std::string arg(*--it);
        if ((arg.size() >= 2 && arg.front() == '[' && arg.back() == ']') ||
            (arg.starts_with("--") && arg.back() == '='))
            arg.push_back(kAsTyped);
        args.push_back(std::move(arg));
    }
    return args;
}

unsigned WholeNumber(std::string_view option, const std::string& text) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        throw CLI::ValidationError("option " + Quoted(option) + " needs a whole number, not " +
                                   Quoted(text));
    return value;
}

// --- The table -------------------------------------------------------------------------------

// An option given twice is refused after the parse (GivenTwice), in the program's own words;
// taking the last value only keeps CLI11 from refusing it in its own.
CLI::Option* AddText(CLI::App& app, const std::string& names, const std::string& valueName,
                     const std::string& help, std::function<void(std::string)> store) {
    return app
        .add_option_function<std::string>(
            names, [store = std::move(store)](const std::string& value) { store(AsTyped(value)); },
            help)
        ->type_name(valueName)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

CLI::Option* AddFlag(CLI::App& app, const std::string& name, const std::string& help,
                     std::function<void()> set) {
    return app.add_flag_callback(name, std::move(set), help)->disable_flag_override();
}

void AddFind(CLI::App& app, Options& o) {
    AddText(app, "-f,--find", "TEXT", "the text to find", [&o](std::string v) {
        o.find = std::move(v);
    })->required();
}

void AddBatchOptions(CLI::App& app, Options& o) {
    AddText(app, "--batch-name", "NAME",
            "base name of the batch data file (default " + std::string(kBatchDefaultName) + ")",
            [&o](std::string v) { o.batchName = std::move(v); });
    AddFlag(app, "--delete-batch", "delete the batch data file first",
            [&o] { o.deleteBatch = true; });
}

// Options end at the first file: a file named "-rX" after it cannot become an option, and so
// cannot choose the text that is written.
void AddFiles(CLI::App& app, Options& o) {
    app.positionals_at_end();
    app.add_option_function<std::vector<std::string>>("FILE",
                                                      [&o](const std::vector<std::string>& files) {
                                                          for (const std::string& file : files)
                                                              o.files.push_back(AsTyped(file));
                                                      })
        ->required();
}

void DefineReplace(CLI::App& app, Options& o) {
    AddFind(app, o);
    AddText(app, "-r,--replace", "TEXT", "the replacement text", [&o](std::string v) {
        o.replace = std::move(v);
    })->required();
    AddFlag(app, "--no-log", "write no change log (each changed line is logged otherwise)",
            [&o] { o.createLog = false; });
    AddText(app, "--log-name", "NAME",
            "base name of the change log (default " + std::string(kLogDefaultName) + ")",
            [&o](std::string v) { o.logName = std::move(v); });
    AddFlag(app, "--delete-log", "delete the change log first", [&o] { o.deleteLog = true; });
    AddFlag(app, "--batch-data", "append the path of each changed file to the batch data file",
            [&o] { o.createBatchData = true; });
    AddBatchOptions(app, o);
    AddText(app, "--jobs", "N", "files rewritten at once (default 0: one per core)",
            [&o](const std::string& v) { o.jobs = WholeNumber("--jobs", v); });
    AddFlag(app, "--dry-run", "change nothing; print a unified diff of what would change",
            [&o] { o.dryRun = true; });
    AddFlag(app, "--no-undo", "keep no undo journal of this replace", [&o] { o.noUndo = true; });
    AddFiles(app, o);
}

void DefineFind(CLI::App& app, Options& o) {
    AddFind(app, o);
    AddFiles(app, o);
}

void DefineBatch(CLI::App& app, Options& o) {
    AddBatchOptions(app, o);
    AddFiles(app, o);
}

void DefineNothing(CLI::App&, Options&) {}

constexpr std::string_view kTextNote =
    "TEXT is taken exactly as typed: no escapes, no trimming, letter case counts; \"\" is an\n"
    "empty text.\n";

constexpr std::string_view kOrderNote =
    "Options start with - or --, come before the files and may each be given once. From the\n"
    "first FILE on every argument is a file, even one that starts with -, except a first --,\n"
    "which ends the options wherever it stands. Put -- before the names a wildcard makes: the\n"
    "first of them would otherwise be read as options.\n";

constexpr std::string_view kOutputFilesNote =
    "The change log is SB_TEMP + NAME + \".log\" and the batch data file SB_SHIPDATA + NAME +\n"
    "\".dat\", with the directories of the environment table named by TB_ENV_TABLE.\n";

struct CommandEntry {
    Command command;
    std::string_view name;
    std::string about; // its first line is the command's line in the program's help
    std::string notes; // after the options
    void (*define)(CLI::App&, Options&);
};

const std::array<CommandEntry, 5>& Commands() {
    static const std::array<CommandEntry, 5> commands{{
        {Command::Replace, "replace",
         "Replace: rewrite the files, log the changes\n\n"
         "Replaces every occurrence of the find text in each FILE, in the order given, and\n"
         "breaks each line longer than 72 characters once after a comma, as the window's\n"
         "Replace does. Prints the path of each file in which a replacement was made. A file\n"
         "whose lines were only wrapped, or whose line ends were only converted, is rewritten\n"
         "too and counted as reformatted in the summary, but not printed, logged or recorded.\n"
         "Each replace keeps what it needs to undo it, in a journal beside the change log.",
         std::string(kTextNote) + std::string(kOrderNote) + std::string(kOutputFilesNote) +
             "\nWith --dry-run nothing is written or deleted: each FILE whose bytes would change "
             "is\nprinted as a unified diff (\"--- FILE\", \"+++ FILE\", three lines of context; "
             "a FILE\nthat holds a control character or \" in double quotes with C escapes), "
             "which\npatch -p0 applies in the same directory to give what the replace would "
             "write (patch\ntakes relative paths only, without \"..\").\n"
             "\nExit status: 0 when every file was handled, 1 when a file, the change log, the\n"
             "batch data file or the environment table failed, 2 on wrong usage, 128 + N when\n"
             "signal N stopped the run (the file in hand is finished or left as it was).\n",
         DefineReplace},
        {Command::Find, "find",
         "Find Only: list the files that contain a text\n\n"
         "Prints the path of each FILE that contains the find text, as the window's Find Only\n"
         "marks it. No file is changed. Lines are searched in pieces of at most 255\n"
         "characters; an empty find text is found in every file that is not empty.",
         std::string(kTextNote) + std::string(kOrderNote) +
             "\nExit status: 0 when some file matched, 1 when none did, 2 on wrong usage or "
             "when\na file could not be read.\n",
         DefineFind},
        {Command::Batch, "batch",
         "Create batch file: write the paths into the batch data file\n\n"
         "Appends the paths, each on its own line, then one empty line, to the batch data\n"
         "file, as the window's Create batch file does, and prints the file's path. The\n"
         "FILEs themselves are not opened.",
         std::string(kOrderNote) + std::string(kOutputFilesNote) +
             "\nExit status: 0 when the batch data file was written, 1 when it could not be,\n"
             "2 on wrong usage.\n",
         DefineBatch},
        {Command::Env, "env",
         "Environment: show what the environment table gives\n\n"
         "Prints the project line and the scheme, log and batch data directories that the\n"
         "window takes from the environment table named by TB_ENV_TABLE.",
         "", DefineNothing},
        {Command::Undo, "undo",
         "Undo Last Replace: put back the files of the last replace\n\n"
         "Restores every file of the last Replace, of the window or of veldran-cli, byte for\n"
         "byte, with its mode, owner, ACL and attributes as before, and prints the path of\n"
         "each file restored. A file changed since that Replace is left as it is and\n"
         "reported. Neither the change log nor the batch data file is written. The journal of\n"
         "the last Replace lies in the log directory SB_TEMP of the environment table named\n"
         "by TB_ENV_TABLE; a replace with --no-undo keeps none.",
         "Exit status: 0 when every file was restored, 1 when a file was not restored or there\n"
         "was nothing to undo, 2 on wrong usage.\n",
         DefineNothing},
    }};
    return commands;
}

const CommandEntry* FindCommandWhere(const std::function<bool(const CommandEntry&)>& match) {
    const auto found = std::find_if(Commands().begin(), Commands().end(), match);
    return found == Commands().end() ? nullptr : &*found;
}

const CommandEntry* FindCommand(Command command) {
    return FindCommandWhere(
        [command](const CommandEntry& entry) { return entry.command == command; });
}

const CommandEntry* FindCommand(std::string_view name) {
    return FindCommandWhere([name](const CommandEntry& entry) { return entry.name == name; });
}

// Only - and -- start an option, on Windows too, where CLI11 would otherwise take "/x" for one
// and so refuse every path that starts with a slash.
std::unique_ptr<CLI::App> MakeApp(const std::string& description, const std::string& name) {
    auto app = std::make_unique<CLI::App>(description, name);
    app->allow_windows_style_options(false);
    return app;
}

// The program's own options: only the first argument may be one.
std::unique_ptr<CLI::App> MakeProgram(Options& o) {
    auto app = MakeApp(
        "The find-and-replace of veldran over scheme files, without a window. It reads the\n"
        "same environment table and writes the same files as the window's commands.",
        std::string(kProgram));
    app->set_help_flag("--help", "show this help");
    AddFlag(*app, "--version", "show the version", [&o] { o.version = true; });
    app->footer("'veldran-cli COMMAND --help' shows the options of a command.\n");
    app->allow_extras();
    return app;
}

std::unique_ptr<CLI::App> MakeCommand(const CommandEntry& entry, Options& o) {
    auto app = MakeApp(entry.about, std::string(kProgram) + " " + std::string(entry.name));
    app->set_help_flag("--help", "show this help");
    entry.define(*app, o);
    app->footer(entry.notes);
    // Unknown arguments are reported by ParseCommandLine, in the words it always used.
    app->allow_extras();
    return app;
}

// --- Help ----------------------------------------------------------------------------------

bool TakesValue(const CLI::Option& option) {
    return option.get_items_expected_max() > 0;
}

std::string LongName(const CLI::Option& option) {
    return "--" + option.get_lnames().front();
}

// `words` after `first`, wrapped before kWidth; lines after the first start at column `indent`.
std::string Wrapped(std::string first, const std::vector<std::string>& words, std::size_t indent) {
    std::string text = std::move(first);
    std::size_t lineStart = 0;
    for (const std::string& word : words) {
        if (text.size() - lineStart + 1 + word.size() >= kWidth) {
            text.push_back('\n');
            lineStart = text.size();
            text.append(indent, ' ');
        } else {
            text.push_back(' ');
        }
        text.append(word);
    }
    return text + "\n";
}

// "veldran-cli replace --find TEXT [--no-log] ... FILE...", `indent` columns in.
std::string Synopsis(const CLI::App& app, std::size_t indent) {
    std::vector<std::string> words;
    for (const CLI::Option* option : app.get_options()) {
        if (option == app.get_help_ptr())
            continue;
        std::string word;
        if (option->get_positional())
            word = option->get_name(true) + (option->get_expected_max() > 1 ? "..." : "");
        else if (TakesValue(*option))
            word = LongName(*option) + " " + option->get_type_name();
        else
            word = LongName(*option);
        words.push_back(option->get_required() ? word : "[" + word + "]");
    }
    return Wrapped(app.get_name(), words, indent + app.get_name().size() + 1);
}

// One line for each option, in the order of the table, help last.
std::string OptionLines(const CLI::App& app) {
    std::vector<const CLI::Option*> options = app.get_options();
    std::stable_partition(options.begin(), options.end(), [&app](const CLI::Option* option) {
        return option != app.get_help_ptr();
    });
    std::string text;
    for (const CLI::Option* option : options) {
        if (option->get_positional())
            continue;
        std::string line =
            option->get_snames().empty() ? "      " : "  -" + option->get_snames().front() + ", ";
        line += LongName(*option);
        if (TakesValue(*option))
            line += " " + option->get_type_name();
        line.resize(std::max(line.size() + 2, kOptionColumn), ' ');
        text += line + option->get_description() + "\n";
    }
    return text;
}

std::string Summary(const CommandEntry& entry) {
    return entry.about.substr(0, entry.about.find('\n'));
}

std::string ProgramUsage(const CLI::App& program) {
    constexpr std::string_view kUsage = "usage: ";
    const std::string indent(kUsage.size(), ' ');
    Options unused;
    std::string text(kUsage);
    for (const CommandEntry& entry : Commands()) {
        if (&entry != &Commands().front())
            text += indent;
        text += Synopsis(*MakeCommand(entry, unused), kUsage.size());
    }
    std::string alone;
    for (const CLI::Option* option : program.get_options())
        alone += (alone.empty() ? "" : " | ") + LongName(*option);
    text += indent + program.get_name() + " " + alone + "\n";
    text += indent + program.get_name() + " COMMAND --help\n";
    return text;
}

// What the command still lacks after a parse that found the arguments well formed.
std::string Missing(const Options& o) {
    if ((o.command == Command::Replace || o.command == Command::Find) && !o.find)
        return "missing --find";
    if (o.command == Command::Replace && !o.replace)
        return "missing --replace";
    return "no files given";
}

// CLI11 tells only that an option's number of values is wrong: either the arguments ended before
// an option's value, or a flag was given one. The flag is looked for first: it comes before the
// files, while the last argument is an option only if no file came before it.
std::string WrongValueCount(const CLI::App& app, const std::vector<std::string_view>& args,
                            const std::string& otherwise) {
    for (const std::string_view arg : args) {
        if (arg == "--")
            break;
        const std::size_t eq = arg.find('=');
        if (!arg.starts_with("--") || eq == std::string_view::npos)
            continue;
        const std::string name(arg.substr(0, eq));
        const CLI::Option* flag = app.get_option_no_throw(name);
        if (flag != nullptr && !TakesValue(*flag))
            return "option " + Quoted(name) + " takes no value";
    }
    const std::string last(args.back());
    const CLI::Option* option =
        last.size() > 1 && last[0] == '-' ? app.get_option_no_throw(last) : nullptr;
    if (option != nullptr && TakesValue(*option))
        return "option " + Quoted(last) + " needs a value";
    return otherwise;
}

// The first argument that was neither an option of the command nor one of its files.
std::string Unexpected(const CLI::App& app) {
    bool optionsEnded = false;
    for (const std::string& left : app.remaining()) {
        if (left == "--" && !optionsEnded) {
            optionsEnded = true;
            continue;
        }
        const std::string arg = AsTyped(left);
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-')
            return "unknown option " + Quoted(std::string_view(arg).substr(
                                           0, arg.starts_with("--") ? arg.find('=') : arg.npos));
        return "unexpected argument " + Quoted(arg);
    }
    return {};
}

// The first option given more than once, by its long name: which of two values was meant is not
// for the program to guess, and a second --replace may come from a file name that a wildcard
// put before the files.
std::string GivenTwice(const CLI::App& app) {
    const std::vector<const CLI::Option*> options = app.get_options();
    const auto twice = std::find_if(options.begin(), options.end(), [](const CLI::Option* option) {
        return !option->get_positional() && option->count() > 1;
    });
    return twice == options.end() ? std::string()
                                  : "option " + Quoted(LongName(**twice)) + " given twice";
}

// The first -- ends the options wherever it stands. Before the files CLI11 leaves it among the
// remaining arguments; among the files, which take every argument, it is dropped here.
void DropFirstMarkAmongFiles(const CLI::App& app, std::vector<std::string>& files) {
    const std::vector<std::string> left = app.remaining();
    if (std::find(left.begin(), left.end(), "--") != left.end())
        return;
    if (const auto mark = std::find(files.begin(), files.end(), "--"); mark != files.end())
        files.erase(mark);
}

} // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
    ParsedCommandLine parsed;
    Options& o = parsed.options;
    if (args.empty()) {
        parsed.error = "no command given";
        return parsed;
    }
    const CommandEntry* entry = FindCommand(args.front());
    if (entry == nullptr) {
        const std::unique_ptr<CLI::App> program = MakeProgram(o);
        try {
            program->parse(ForCli11(args.begin(), args.begin() + 1));
        } catch (const CLI::CallForHelp&) {
            o.help = true;
        } catch (const CLI::ParseError&) { // "--version=...": said below
        }
        if (!o.help && !o.version) {
            const std::string_view first = args.front();
            parsed.error =
                (first.size() > 1 && first[0] == '-' ? "unknown option " : "unknown command ") +
                Quoted(first);
        }
        return parsed;
    }

    o.command = entry->command;
    const std::unique_ptr<CLI::App> app = MakeCommand(*entry, o);
    std::string error;
    try {
        app->parse(ForCli11(args.begin() + 1, args.end()));
    } catch (const CLI::CallForHelp&) {
        o.help = true;
    } catch (const CLI::RequiredError&) {
        error = Missing(o);
    } catch (const CLI::ArgumentMismatch& e) {
        error = WrongValueCount(*app, args, e.what());
    } catch (const CLI::ParseError& e) {
        error = e.what();
    }
    // Help wins over what is wrong or missing, and runs nothing.
    if (app->get_help_ptr()->count() > 0) {
        o.help = true;
        return parsed;
    }
    DropFirstMarkAmongFiles(*app, o.files);
    if (std::string unexpected = Unexpected(*app); !unexpected.empty())
        parsed.error = std::move(unexpected);
    else if (std::string twice = GivenTwice(*app); !twice.empty())
        parsed.error = std::move(twice);
    else
        parsed.error = std::move(error);
    return parsed;
}

std::string UsageText(Command command) {
    Options unused;
    const CommandEntry* entry = FindCommand(command);
    if (entry == nullptr)
        return ProgramUsage(*MakeProgram(unused));
    return "usage: " + Synopsis(*MakeCommand(*entry, unused), std::string_view("usage: ").size());
}

std::string HelpText(Command command) {
    Options unused;
    const CommandEntry* entry = FindCommand(command);
    std::string text = UsageText(command) + "\n";
    if (entry != nullptr) {
        const std::unique_ptr<CLI::App> app = MakeCommand(*entry, unused);
        text += app->get_description() + "\n\n" + OptionLines(*app);
        if (!app->get_footer().empty())
            text += "\n" + app->get_footer();
        return text;
    }
    const std::unique_ptr<CLI::App> program = MakeProgram(unused);
    text += program->get_description() + "\n\n";
    for (const CommandEntry& each : Commands()) {
        std::string line = "  " + std::string(each.name);
        line.resize(12, ' ');
        text += line + Summary(each) + "\n";
    }
    text += "\n" + OptionLines(*program) + "\n" + program->get_footer();
    return text;
}

} // namespace veldran::cli

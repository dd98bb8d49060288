// Wrong usage, help and version of veldran-cli.
#include "CliRunner.h"
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <regex>

using namespace veldran::clitest;

namespace {

struct UsageCase {
    std::vector<std::string> args;
    std::string reason;
    std::string usage; // how the usage that follows the reason begins
};

} // namespace

TEST(Usage, WrongUsageGivesTheReasonAndTheUsage) {
    const std::string all = "usage: veldran-cli replace --find TEXT --replace TEXT [--no-log]";
    const std::vector<UsageCase> cases{
        {{}, "no command given", all},
        {{"frob"}, "unknown command 'frob'", all},
        {{"--frob"}, "unknown option '--frob'", all},
        {{"replace", "-f", "a", "x"}, "missing --replace", "usage: veldran-cli replace --find"},
        {{"replace", "-r", "a", "x"}, "missing --find", "usage: veldran-cli replace --find"},
        {{"replace", "-f", "a", "-r", "b"}, "no files given", "usage: veldran-cli replace --find"},
        {{"replace", "--no-log=1", "-f", "a", "-r", "b", "x"},
         "option '--no-log' takes no value",
         "usage: veldran-cli replace"},
        {{"find", "x"}, "missing --find", "usage: veldran-cli find --find TEXT FILE...\n"},
        {{"find", "-f", "a"}, "no files given", "usage: veldran-cli find"},
        {{"find", "-f"}, "option '-f' needs a value", "usage: veldran-cli find"},
        {{"replace", "--no-log=1", "-f", "a", "-r", "b", "x", "--jobs"},
         "option '--no-log' takes no value",
         "usage: veldran-cli replace"},
        {{"find", "x", "-f", "a"}, "missing --find", "usage: veldran-cli find"},
        {{"find", "--replace", "b", "-f", "a", "x"},
         "unknown option '--replace'",
         "usage: veldran-cli find"},
        {{"find", "-x", "-f", "a", "x"}, "unknown option '-x'", "usage: veldran-cli find"},
        {{"batch"}, "no files given", "usage: veldran-cli batch [--batch-name NAME]"},
        {{"batch", "--find", "a", "x"}, "unknown option '--find'", "usage: veldran-cli batch"},
        {{"env", "x"}, "unexpected argument 'x'", "usage: veldran-cli env\n"},
        {{"undo", "--", "x"}, "unexpected argument 'x'", "usage: veldran-cli undo\n"},
        {{"replace", "--jobs", "-1", "-f", "a", "-r", "b", "x"},
         "option '--jobs' needs a whole number, not '-1'",
         "usage: veldran-cli replace"},
        // Given twice, under either name, with or without "=": which was meant is not guessed.
        {{"replace", "-f", "a", "-f", "b", "-r", "c", "x"},
         "option '--find' given twice",
         "usage: veldran-cli replace"},
        {{"replace", "-f", "a", "-r", "b", "--replace", "c", "x"},
         "option '--replace' given twice",
         "usage: veldran-cli replace"},
        {{"replace", "-f", "a", "-r", "EH36", "-rPWNED.sch", "a.sch"},
         "option '--replace' given twice",
         "usage: veldran-cli replace"},
        {{"replace", "--no-log", "-f", "a", "-r", "b", "--no-log", "x"},
         "option '--no-log' given twice",
         "usage: veldran-cli replace"},
        {{"replace", "--jobs", "2", "--jobs=3", "-f", "a", "-r", "b", "x"},
         "option '--jobs' given twice",
         "usage: veldran-cli replace"},
        {{"find", "--find=a", "-fb", "x"},
         "option '--find' given twice",
         "usage: veldran-cli find"},
        {{"batch", "--delete-batch", "--delete-batch", "x"},
         "option '--delete-batch' given twice",
         "usage: veldran-cli batch"},
    };
    for (const UsageCase& c : cases) {
        std::string shown;
        for (const std::string& a : c.args)
            shown += " " + a;
        SCOPED_TRACE("veldran-cli" + shown);
        const CliRun run = RunCli(c.args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        const std::string reason = "veldran-cli: " + c.reason + "\n";
        EXPECT_EQ(run.err.substr(0, reason.size()), reason);
        EXPECT_EQ(run.err.substr(reason.size(), c.usage.size()), c.usage);
        EXPECT_EQ(run.err.back(), '\n');
    }
}

TEST(Usage, WrongUsageTouchesNoFile) {
    Workspace ws;
    WriteBytes(ws.LogFile(), "OLD LOG\n");
    WriteBytes(ws.BatchFile(), "OLD DATA\n");
    const std::string file = ws.Scheme("a.sch", "AH36\n");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"replace", "-f", "AH36", "-r", "X", "--delete-log", "--delete-batch"},
             {"replace", "-f", "AH36", "--delete-log", "--delete-batch", file},
             {"replace", "-f", "AH36", "-r", "X", "--delete-log", "--bogus", file},
             {"batch", "--delete-batch"}}) {
        EXPECT_EQ(RunCli(args, ws.Env()).exitCode, 2);
    }
    EXPECT_EQ(ReadBytes(ws.LogFile()), "OLD LOG\n");
    EXPECT_EQ(ReadBytes(ws.BatchFile()), "OLD DATA\n");
    EXPECT_EQ(ReadBytes(file), "AH36\n");
}

TEST(Usage, HelpAndVersionGoToStdout) {
    CliRun run = RunCli({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out.rfind("usage: veldran-cli replace --find TEXT --replace TEXT", 0), 0u);
    for (const std::string command : {"find", "batch", "env", "undo"})
        EXPECT_NE(run.out.find("veldran-cli " + command), std::string::npos) << command;

    run = RunCli({"find", "--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("usage: veldran-cli find --find TEXT FILE...\n", 0), 0u);

    // Help wins over what is missing, and runs nothing.
    Workspace ws;
    const std::string file = ws.Scheme("a.sch", "AH36\n");
    run = RunCli({"replace", "-f", "AH36", "--help", file}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("usage: veldran-cli replace", 0), 0u);
    EXPECT_EQ(ReadBytes(file), "AH36\n");

    run = RunCli({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "veldran-cli " VELDRAN_VERSION "\n");
}

// Options and file names reach the command as typed, also those that look like CLI11's lists or
// ask for the next argument as their value.
TEST(Usage, ArgumentsReachTheCommandAsTyped) {
    Workspace ws;
    const std::vector<std::string> names{"[a,b]", "{}", "++", "-", "--", "--x="};
    std::string listed;
    for (const std::string& name : names) {
        ws.Scheme(name, "[a,b]{}\n");
        listed += name + "\n";
    }
    RunSettings inSchemes = ws.Env();
    inSchemes.workDir = ws.schemes;
    std::vector<std::string> args{"find", "-f", "[a,b]", "--"};
    args.insert(args.end(), names.begin(), names.end());
    CliRun run = RunCli(args, inSchemes);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, listed);
    // "--find=" is an empty text, found in every file that is not empty.
    run = RunCli({"find", "--find=", "--", "[a,b]"}, inSchemes);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "[a,b]\n");
}

// Options end at the first file: no file name, whatever it starts with, can set an option, and on
// every platform only - and -- start one.
TEST(Usage, EveryArgumentFromTheFirstFileOnIsAFile) {
    struct ParseCase {
        std::vector<std::string_view> args; // after the command "replace -f AH36 -r EH36"
        std::vector<std::string> files;
        bool batchData = false;
        bool createLog = true;
    };
    const std::vector<ParseCase> cases{
        {{"--batch-data", "a.sch", "-rPWNED.sch", "b.sch"},
         {"a.sch", "-rPWNED.sch", "b.sch"},
         true},
        {{"--no-log", "a.sch", "--batch-data", "--no-log"},
         {"a.sch", "--batch-data", "--no-log"},
         false,
         false},
        {{"a.sch", "-f", "X", "--help", "--version"}, {"a.sch", "-f", "X", "--help", "--version"}},
        {{"--", "-x.sch", "--no-log"}, {"-x.sch", "--no-log"}},
        {{"--", "a.sch", "--", "-x.sch"}, {"a.sch", "--", "-x.sch"}},
        // A first -- ends the options wherever it stands.
        {{"a.sch", "--", "-x.sch", "--"}, {"a.sch", "-x.sch", "--"}},
        {{"-", "-x.sch"}, {"-", "-x.sch"}},
        {{"/tmp/x.sch", "/f"}, {"/tmp/x.sch", "/f"}},
        {{"\\\\server\\share\\x.sch", "C:\\x.sch", "/batch-data"},
         {"\\\\server\\share\\x.sch", "C:\\x.sch", "/batch-data"}},
    };
    for (const ParseCase& c : cases) {
        std::vector<std::string_view> args{"replace", "-f", "AH36", "-r", "EH36"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::string shown;
        for (const std::string_view a : args)
            shown.append(" ").append(a);
        SCOPED_TRACE("veldran-cli" + shown);
        const veldran::cli::ParsedCommandLine parsed = veldran::cli::ParseCommandLine(args);
        EXPECT_EQ(parsed.error, "");
        EXPECT_EQ(parsed.options.replace, "EH36");
        EXPECT_EQ(parsed.options.files, c.files);
        EXPECT_EQ(parsed.options.createBatchData, c.batchData);
        EXPECT_EQ(parsed.options.createLog, c.createLog);
        EXPECT_FALSE(parsed.options.help || parsed.options.version || parsed.options.dryRun);
    }
    // A slash starts no option of the program or of a command either.
    for (const std::vector<std::string_view>& args : std::vector<std::vector<std::string_view>>{
             {"/help"}, {"/version"}, {"find", "/f", "a", "x"}, {"find", "/find", "a", "x"}}) {
        SCOPED_TRACE(args.back());
        const veldran::cli::ParsedCommandLine parsed = veldran::cli::ParseCommandLine(args);
        EXPECT_NE(parsed.error, "");
        EXPECT_FALSE(parsed.options.help || parsed.options.version || parsed.options.find);
    }
}

// The manual's own example, in a folder where someone made a file "-rPWNED.sch": wherever the
// wildcard puts that name, no file gets PWNED.
TEST(Usage, AFileNamedLikeAnOptionCannotChooseTheReplacement) {
    struct GlobCase {
        std::vector<std::string> names; // in the order a wildcard gives them
        int exitCode;                   // 2: nothing was written
    };
    const std::vector<GlobCase> cases{
        {{"a.sch", "-rPWNED.sch", "z.sch"}, 0},
        {{"-rPWNED.sch", "a.sch", "z.sch"}, 2}, // the C locale's order: "-r" given twice
    };
    for (const GlobCase& c : cases) {
        SCOPED_TRACE(c.names.front());
        Workspace ws;
        for (const std::string& name : c.names)
            ws.Scheme(name, "PLATE,AH36\n");
        RunSettings inSchemes = ws.Env();
        inSchemes.workDir = ws.schemes;
        std::vector<std::string> args{"replace", "-f", "AH36", "-r", "EH36", "--batch-data"};
        args.insert(args.end(), c.names.begin(), c.names.end());
        const CliRun run = RunCli(args, inSchemes);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        const std::string after = c.exitCode == 0 ? Native("PLATE,EH36\n") : "PLATE,AH36\n";
        for (const std::string& name : c.names)
            EXPECT_EQ(ReadBytes(ws.schemes + veldran::kDirSeparator + name), after) << name;
    }
}

// The manual page lists every command and option that the help shows.
TEST(Usage, ManualPageListsEveryCommandAndOption) {
    const std::string page = ReadBytes(VELDRAN_MAN_PAGE);
    std::string help = RunCli({"--help"}).out;
    const std::string commands = help.substr(0, help.find("\n\n"));
    const std::regex command(R"(veldran-cli ([a-z]+))"), option(R"(--[a-z][a-z-]*)");
    for (std::sregex_iterator it(commands.begin(), commands.end(), command), end; it != end; ++it) {
        EXPECT_NE(page.find("\n.SS " + (*it)[1].str() + "\n"), std::string::npos) << it->str();
        help += RunCli({(*it)[1].str(), "--help"}).out;
    }
    for (std::sregex_iterator it(help.begin(), help.end(), option), end; it != end; ++it)
        EXPECT_NE(page.find(std::regex_replace(it->str(), std::regex("-"), "\\-")),
                  std::string::npos)
            << it->str();
    EXPECT_NE(page.find("TB_ENV_TABLE"), std::string::npos);
}

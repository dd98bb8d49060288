// veldran-cli writes what the window's commands write: the same core calls, made here in the
// window's order, give the expected bytes for a varied set of files and options.
#include "CliRunner.h"
#include "EnvironmentTable.h"
#include "FileRewrite.h"
#include "OutputPaths.h"
#include "Platform.h"
#include "Records.h"
#include "SafeFile.h"

#include <gtest/gtest.h>

#include <map>

using namespace veldran::clitest;

namespace {

// The demo scheme files and the awkward cases of the piece rules.
std::map<std::string, std::string> Corpus() {
    std::map<std::string, std::string> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(VELDRAN_EXAMPLES) + "/schemes"))
        files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    files["long.sch"] = std::string(252, 'x') + "AH36" + std::string(44, 'y') + ",AH36\n" +
                        std::string(255, 'z') + "\n" + std::string(300, ',') + "\n";
    files["crlf.sch"] = "PLATE,AH36\r\nlone\rCR,AH36\r\n" + std::string(71, 'c') + "\r\n" +
                        std::string(72, 'C') + "\r\nlast,AH36";
    files["bytes.sch"] = std::string("A\0AH36\x1A,AH36\n%s%n,AH36\n", 23);
    files["empty.sch"] = "";
    files["nonl.sch"] = std::string(80, 'n') + ",AH36";
    return files;
}

struct Outputs {
    std::map<std::string, std::string> files;
    std::string log;   // time stamps masked; empty when there is no log
    std::string batch; // empty when there is no batch data file
};

Outputs Collect(const Workspace& ws, const std::map<std::string, std::string>& corpus) {
    Outputs out;
    for (const auto& [name, bytes] : corpus)
        out.files[name] = ReadBytes(ws.schemes + "/" + name);
    if (Exists(ws.LogFile()))
        out.log = MaskTimeStamps(ReadBytes(ws.LogFile()));
    if (Exists(ws.BatchFile()))
        out.batch = ReadBytes(ws.BatchFile());
    return out;
}

void Reset(const Workspace& ws, const std::map<std::string, std::string>& corpus,
           std::vector<std::string>& paths) {
    paths.clear();
    for (const auto& [name, bytes] : corpus)
        paths.push_back(ws.Scheme(name, bytes));
    std::filesystem::remove(ws.LogFile());
    std::filesystem::remove(ws.BatchFile());
}

struct Case {
    std::string find;
    std::string replace;
    bool log;
    bool batch;
};

} // namespace

TEST(SameAsWindow, ReplaceWritesTheWindowsBytes) {
    const std::vector<Case> cases{
        {"AH36", "EH40", true, true}, {"AH36", "", true, false}, {"", "X", true, true},
        {",", ",,", false, true},     {"\n", ";", true, true},   {"AH36", "AH36", true, true},
    };
    const std::map<std::string, std::string> corpus = Corpus();
    for (const Case& c : cases) {
        SCOPED_TRACE("find '" + c.find + "' replace '" + c.replace + "'");
        Workspace ws;
        std::vector<std::string> paths;

        // The window's Replace: both output paths, then each file in list order.
        Reset(ws, corpus, paths);
        veldran::EnvironmentSettings settings;
        setenv(veldran::kEnvTableVariable, ws.table.c_str(), 1);
        veldran::LoadEnvironmentTable(settings, veldran::kDirSeparator);
        unsetenv(veldran::kEnvTableVariable);
        std::string logName;
        std::string batchName;
        veldran::RewriteJob job;
        job.find = c.find;
        job.replace = c.replace;
        job.logPath = veldran::PrepareOutputPath(logName, settings.logDir, veldran::kLogDefaultName,
                                                 veldran::kLogExtension, nullptr, nullptr);
        job.batchPath =
            veldran::PrepareOutputPath(batchName, settings.batchDir, veldran::kBatchDefaultName,
                                       veldran::kBatchExtension, nullptr, nullptr);
        ASSERT_EQ(job.logPath, ws.LogFile());
        veldran::FixedOptionBoxes boxes(c.log, c.batch);
        std::string windowList;
        for (const std::string& path : paths) {
            job.path = path;
            const veldran::RewriteOutcome outcome = veldran::ProcessFile(job, boxes);
            ASSERT_TRUE(outcome.ok) << outcome.error;
            if (outcome.changed)
                windowList += path + "\n";
        }
        const Outputs window = Collect(ws, corpus);
        if (!c.find.empty()) {
            EXPECT_NE(windowList, "") << "the case changes no file";
        }

        Reset(ws, corpus, paths);
        std::vector<std::string> args{"replace", "--find", c.find, "--replace", c.replace};
        if (!c.log)
            args.push_back("--no-log");
        if (c.batch)
            args.push_back("--batch-data");
        args.insert(args.end(), paths.begin(), paths.end());
        const CliRun run = RunCli(args, ws.Env());
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, windowList);
        const Outputs cli = Collect(ws, corpus);
        EXPECT_EQ(cli.files, window.files);
        EXPECT_EQ(cli.log, window.log);
        EXPECT_EQ(cli.batch, window.batch);
    }
}

TEST(SameAsWindow, BatchWritesTheBlockOfCreateBatchFile) {
    Workspace ws;
    const std::vector<std::string> paths{ws.schemes + "/b.sch", ws.schemes + "/a b.sch",
                                         ws.schemes + "/gone.sch"};
    // Create batch file: the paths, each with its newline, written as one record.
    std::string collected;
    for (const std::string& path : paths)
        collected += path + "\n";
    const std::string block = veldran::ToNativeLineEnds(veldran::BatchRecord(collected));

    std::vector<std::string> args{"batch"};
    args.insert(args.end(), paths.begin(), paths.end());
    for (int run = 1; run <= 2; ++run) {
        const CliRun result = RunCli(args, ws.Env());
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.out, ws.BatchFile() + "\n");
        EXPECT_EQ(result.err, "");
    }
    EXPECT_EQ(ReadBytes(ws.BatchFile()), block + block);
}

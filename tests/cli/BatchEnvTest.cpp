// veldran-cli batch and env.
#include "CliRunner.h"

#include <gtest/gtest.h>

using namespace veldran::clitest;

TEST(BatchCommand, AppendsThePathsAndAnEmptyLinePerRun) {
    Workspace ws;
    // The files are not opened: a path that names nothing is written like any other.
    CliRun run = RunCli({"batch", "b.sch", ws.schemes + "/a.sch", "--", "-x.sch"}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, ws.BatchFile() + "\n");
    EXPECT_EQ(run.err, "");
    run = RunCli({"batch", "c.sch"}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ReadBytes(ws.BatchFile()),
              Native("b.sch\n" + ws.schemes + "/a.sch\n-x.sch\n\n" + "c.sch\n\n"));

    run = RunCli({"batch", "--delete-batch", "d.sch"}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(ReadBytes(ws.BatchFile()), Native("d.sch\n\n"));

    // The log is no business of this command.
    WriteBytes(ws.LogFile(), "OLD\n");
    run = RunCli({"batch", "--batch-name", "NIGHT", "e.sch"}, ws.Env());
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, ws.data + veldran::kDirSeparator + "NIGHT.dat\n");
    EXPECT_EQ(ReadBytes(ws.data + "/NIGHT.dat"), Native("e.sch\n\n"));
    EXPECT_EQ(ReadBytes(ws.LogFile()), "OLD\n");
}

TEST(BatchCommand, ABatchDataFileThatCannotBeWrittenIsReported) {
    Workspace ws;
    const std::string table = ws.dir.File("broken_table.txt");
    const std::string noDataDir = ws.dir.File("gone");
    WriteBytes(table, "SB_SHIPDATA=" + noDataDir + "\n");
    RunSettings broken;
    broken.envTable = table;
    CliRun run = RunCli({"batch", "a.sch"}, broken);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "veldran-cli: " + noDataDir + veldran::kDirSeparator +
                           "VELDRAN_BATCH.dat: cannot open: " + NoSuchDirectory() + "\n");

#ifndef _WIN32 // no device there
    std::filesystem::create_symlink("/dev/full", ws.BatchFile());
    run = RunCli({"batch", "a.sch"}, ws.Env());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "veldran-cli: " + ws.BatchFile() + ": cannot open: not a regular file\n");
#endif
}

TEST(EnvCommand, PrintsTheDemoEnvironmentAsTheWindowHoldsIt) {
    TempDir dir;
    const std::string demo = dir.Path().string();
    std::string table = ReadBytes(std::string(VELDRAN_EXAMPLES) + "/env_table.txt");
    for (std::size_t at = table.find("@DEMO@"); at != std::string::npos; at = table.find("@DEMO@"))
        table.replace(at, 6, demo);
    WriteBytes(dir.File("env_table.txt"), table);
    RunSettings settings;
    settings.envTable = dir.File("env_table.txt");

    const CliRun run = RunCli({"env"}, settings);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    const char sep = veldran::kDirSeparator;
    EXPECT_EQ(run.out, "Project Name: Demo Hull 4711\n"
                       "Scheme directory: " +
                           demo + "/schemes" + sep + "\n" + "Log directory: " + demo + "/log" +
                           sep + "\n" + "Batch data directory: " + demo + "/data" + sep + "\n");
}

TEST(EnvCommand, EmptyMissingAndPartialTables) {
    const std::string nothing = "\nScheme directory: \nLog directory: \nBatch data directory: \n";
    EXPECT_EQ(RunCli({"env"}).out, nothing);

    // A table that cannot be read is reported; what it would have given stays empty.
    TempDir dir;
    RunSettings settings;
    const std::string missing = dir.File("no_such_table.txt");
    std::vector<std::pair<std::string, std::string>> unreadable{
        {missing, "cannot open: " + NoSuchFile()}};
#ifndef _WIN32
    const std::string fifo = dir.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& device : {fifo, std::string("/dev/zero"), std::string("/dev/urandom")})
        unreadable.emplace_back(device, "cannot read: not a regular file");
#endif
    CliRun run;
    for (const auto& [table, reason] : unreadable) {
        settings.envTable = table;
        run = RunCli({"env"}, settings);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, nothing);
        EXPECT_EQ(run.err, "veldran-cli: " + table + ": " + reason + "\n");
    }
    settings.envTable = missing;

    // CR LF lines; a value keeps its further '='; a directory never named is the separator.
    const std::string sep(1, veldran::kDirSeparator);
    WriteBytes(*settings.envTable,
               "SB_PROJECT=a=b\r\nsb_temp=/x\r\nSB_TEMP=" + sep + "t" + sep + "\r\nSB_SHIPSCH=s");
    run = RunCli({"env"}, settings);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Project Name: a=b\n"
                       "Scheme directory: s" +
                           sep + "\nLog directory: " + sep + "t" + sep +
                           "\nBatch data directory: " + sep + "\n");
}

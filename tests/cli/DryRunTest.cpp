// replace --dry-run changes nothing, and the diff it prints, applied by patch, gives exactly the
// bytes that the replace writes.
#include "CliRunner.h"
#include "FileRewrite.h"
#include "UnifiedDiff.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>

using namespace veldran::clitest;

#ifndef _WIN32
namespace {

using Files = std::map<std::string, std::string>; // name and bytes

Files Snapshot(const std::string& dir) {
    Files files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        files[entry.path().filename().string()] = ReadBytes(entry.path().string());
    return files;
}

void WriteAll(const std::string& dir, const Files& files) {
    for (const auto& [name, bytes] : files)
        WriteBytes((std::filesystem::path(dir) / name).string(), bytes);
}

// Scheme files of every awkward kind: CR LF, lone CRs, no final newline, zero bytes and Ctrl-Z,
// lines over 255 characters, commas for the wrap, find texts cut in two by a piece boundary.
Files RandomCorpus(std::mt19937& random) {
    const std::vector<std::string> words{
        "AH36", "PLATE ", ",", "x", "AH3", "6", "\r", "\x1A", std::string(1, '\0')};
    Files files;
    for (int f = 0; f < 12; ++f) {
        const std::string end = random() % 2 == 0 ? "\r\n" : "\n";
        std::string text;
        for (unsigned lines = random() % 40; lines > 0; --lines) {
            const std::size_t length = random() % 6 == 0 ? 250 + random() % 300 : random() % 90;
            std::string line;
            while (line.size() < length)
                line += words[random() % words.size()];
            text += line + end;
        }
        if (random() % 3 == 0 && !text.empty())
            text.resize(text.size() - end.size());
        files["f" + std::to_string(f) + ".sch"] = text;
    }
    files["a blank.sch"] = "PLATE,AH36\n";
    files["same.sch"] = "nothing to do\n";
    return files;
}

// patch -p0, run in `dir` on `diff`; true when it succeeded.
bool Patch(const std::string& dir, const std::string& diff, const TempDir& scratch) {
    const std::string diffFile = scratch.File("dry-run.diff");
    WriteBytes(diffFile, diff);
    const std::string patch =
        "cd '" + dir + "' && patch -p0 --batch --silent < '" + diffFile + "' >/dev/null";
    return std::system(patch.c_str()) == 0;
}

bool HavePatch() {
    return std::system("patch --version >/dev/null 2>&1") == 0;
}

} // namespace
#endif

TEST(DryRun, ChangesNothingAndPatchOfItsDiffGivesTheReplacesBytes) {
#ifdef _WIN32
    GTEST_SKIP() << "patch is run on POSIX systems only";
#else
    if (!HavePatch())
        GTEST_SKIP() << "patch is not installed (Debian package patch)";
    const std::vector<std::pair<std::string, std::string>> texts{
        {"AH36", "EH36"}, {"AH36", ""}, {"6", "AH36,"}, {"", ""}, {"AH36", std::string(90, ',')}};
    for (unsigned seed = 1; seed <= texts.size(); ++seed) {
        const auto& [find, replace] = texts[seed - 1];
        SCOPED_TRACE("seed " + std::to_string(seed) + ", find '" + find + "'");
        std::mt19937 random(seed);
        const Files corpus = RandomCorpus(random);
        auto command = [&](std::vector<std::string> args) {
            for (const auto& [name, bytes] : corpus)
                args.push_back(name);
            return args;
        };

        // The dry run, with every option that would write or delete something.
        Workspace ws;
        TempDir preview;
        WriteAll(preview.Path().string(), corpus);
        WriteBytes(ws.LogFile(), "OLD LOG\n");
        WriteBytes(ws.BatchFile(), "OLD DATA\n");
        RunSettings settings = ws.Env();
        settings.workDir = preview.Path().string();
        const CliRun dry = RunCli(command({"replace", "--dry-run", "--delete-log", "--delete-batch",
                                           "--batch-data", "-f", find, "-r", replace, "--"}),
                                  settings);
        EXPECT_EQ(dry.exitCode, 0) << dry.err;
        EXPECT_EQ(Snapshot(preview.Path().string()), corpus);
        EXPECT_EQ(Snapshot(ws.log), (Files{{"VELDRAN.log", "OLD LOG\n"}}));
        EXPECT_EQ(Snapshot(ws.data), (Files{{"VELDRAN_BATCH.dat", "OLD DATA\n"}}));

        // The real replace, beside it.
        WriteAll(ws.schemes, corpus);
        settings.workDir = ws.schemes;
        const CliRun real = RunCli(command({"replace", "-f", find, "-r", replace, "--"}), settings);
        EXPECT_EQ(real.exitCode, 0) << real.err;

        EXPECT_TRUE(Patch(preview.Path().string(), dry.out, ws.dir));
        EXPECT_EQ(Snapshot(preview.Path().string()), Snapshot(ws.schemes));
        if (HasFailure())
            break;
    }
#endif
}

// The diff is the core's own, file by file in the order given, byte for byte on stdout (on
// Windows too, where every file gets CR LF line ends); a file that cannot be read is reported and
// counted, and the others go on.
TEST(DryRun, PrintsTheCoresDiffInTheOrderGiven) {
    Workspace ws;
    const std::string b = ws.Scheme("b.sch", "x\nPLATE,AH36\r\nend\n");
    const std::string a = ws.Scheme("a.sch", std::string(80, 'a') + ",AH36");
    const std::string lf = ws.Scheme("lf.sch", "nothing\n");
    const std::string missing = ws.schemes + veldran::kDirSeparator + "missing.sch";
    RunSettings settings = ws.Env();
    settings.stdoutPath = ws.dir.File("stdout"); // as written, not as a text-mode read gives it
    const CliRun run =
        RunCli({"replace", "--dry-run", "-f", "AH36", "-r", "EH36", b, missing, lf, a}, settings);

    std::string expected;
    int changing = 0;
    for (const std::string& path : {b, lf, a}) {
        const std::string original = ReadBytes(path);
        std::string normalised, newText;
        std::string_view text;
        veldran::RewriteText(original, "AH36", "EH36", normalised, text, newText);
        expected += veldran::UnifiedDiff(path, original, newText);
        changing += newText == original ? 0 : 1;
    }
    EXPECT_EQ(ReadBytes(settings.stdoutPath), expected);
    EXPECT_EQ(ReadBytes(b), "x\nPLATE,AH36\r\nend\n");
    EXPECT_FALSE(Exists(ws.LogFile()));
    EXPECT_NE(run.err.find("veldran-cli: " + missing + ": "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("4 files, " + std::to_string(changing) +
                           " would change, 2 replacements, 1 failed"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(run.exitCode, 1);
}

// A file name cannot steer patch to another file: whatever bytes a name holds, the diff of a dry
// run over it, applied by patch, changes that file and no other.
TEST(DryRun, PatchOfItsDiffChangesOnlyTheNamedFilesWhateverTheirNames) {
#ifdef _WIN32
    GTEST_SKIP() << "these names cannot exist on Windows; patch is run on POSIX systems only";
#else
    if (!HavePatch())
        GTEST_SKIP() << "patch is not installed (Debian package patch)";
    const std::vector<std::string> names{
        // Raw, its header lines would name victim.sch as the file that its hunk patches.
        "z.sch\n--- victim.sch\n+++ victim.sch",
        "cr\r--- victim.sch",
        "tab\t.sch",
        "back\\slash.sch",
        "\"quoted.sch\"",
        "-rPWNED.sch",
        "non-utf8 \xe9\xff.sch",
        "esc\x1b[2J.sch",
        "a blank.sch",
    };
    TempDir dir;
    Files files{{"victim.sch", "PLATE,AH36\n"}};
    Files expected = files;
    for (const std::string& name : names) {
        files[name] = "PLATE,AH36\n";
        expected[name] = "PLATE,EH36\n";
    }
    WriteAll(dir.Path().string(), files);
    Workspace ws;
    RunSettings settings = ws.Env();
    settings.workDir = dir.Path().string();
    std::vector<std::string> args{"replace", "--dry-run", "-f", "AH36", "-r", "EH36", "--"};
    args.insert(args.end(), names.begin(), names.end());
    const CliRun dry = RunCli(args, settings);
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    EXPECT_EQ(Snapshot(dir.Path().string()), files);

    EXPECT_TRUE(Patch(dir.Path().string(), dry.out, ws.dir));
    EXPECT_EQ(Snapshot(dir.Path().string()), expected);
#endif
}

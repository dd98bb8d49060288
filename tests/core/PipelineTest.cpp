// The pipeline against the one-file-at-a-time path: the same bytes in every file and record, in
// the same order, whatever the number of threads; and a clean end when it is stopped.
#include "Pipeline.h"
#include "FindOnly.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <regex>

using namespace veldran;
namespace fs = std::filesystem;

namespace {

// Scheme files of every awkward kind: CR LF or LF, no final newline, NUL bytes, lines longer
// than a piece, lines that wrap; some without the find text.
std::vector<std::string> RandomCorpus(const test::TempDir& dir, int files, unsigned seed) {
    std::mt19937 random(seed);
    const std::string words[] = {"AH36", "PLATE", ",", "THK=12.0", std::string("\0", 1), "X", "  "};
    std::vector<std::string> paths;
    for (int f = 0; f < files; ++f) {
        std::string text;
        const bool crlf = random() % 3 == 0;
        const int lines = static_cast<int>(random() % 40);
        for (int l = 0; l < lines; ++l) {
            const int length = random() % 10 == 0 ? 300 : static_cast<int>(random() % 90);
            for (int c = 0; static_cast<int>(text.size()) < length + c; ++c)
                text += words[random() % std::size(words)];
            if (l + 1 < lines || random() % 2 == 0)
                text += crlf ? "\r\n" : "\n";
        }
        paths.push_back(dir.File("f" + std::to_string(f) + ".sch"));
        test::WriteBytes(paths.back(), text);
    }
    return paths;
}

std::string Outputs(const test::TempDir& dir, const std::vector<std::string>& paths) {
    std::string all;
    for (const std::string& path : paths)
        all += test::ReadBytes(path) + "\n--\n";
    all += test::ReadBytes(dir.File("VELDRAN.log")) + test::ReadBytes(dir.File("BATCH.dat"));
    // The same records from the other directory, at other times.
    const std::string from = dir.Path().string();
    for (std::size_t at = all.find(from); at != std::string::npos; at = all.find(from, at))
        all.replace(at, from.size(), "DIR");
    return std::regex_replace(all, std::regex(R"(\d\d/\d\d/\d{4} \d\d:\d\d:\d\d)"), "TS");
}

RewriteJob JobIn(const test::TempDir& dir) {
    return {"", "AH36", "EH36,EH36", dir.File("VELDRAN.log"), dir.File("BATCH.dat")};
}

std::string Describe(const RewriteOutcome& r) {
    return std::to_string(r.ok) + std::to_string(r.changed) + std::to_string(r.written) + " " +
           std::to_string(r.replacements) + " " + std::to_string(r.logRecords) + " " +
           std::to_string(r.batchRecord) + " " + r.error;
}

} // namespace

TEST(Pipeline, ThreadsChangeNothingInTheBytesOrTheirOrder) {
    for (const unsigned jobs : {1u, 2u, 5u}) {
        SCOPED_TRACE(jobs);
        test::TempDir one;
        test::TempDir many;
        const std::vector<std::string> alone = RandomCorpus(one, 300, jobs);
        const std::vector<std::string> together = RandomCorpus(many, 300, jobs);
        FixedOptionBoxes boxes(true, true);
        std::vector<std::string> expected;
        for (const std::string& path : alone) {
            RewriteJob job = JobIn(one);
            job.path = path;
            expected.push_back(Describe(ProcessFile(job, boxes)));
        }
        std::vector<std::string> published;
        PipelineSettings settings;
        settings.jobs = jobs;
        ReplaceFiles(together, JobIn(many), boxes, settings,
                     [&](std::size_t index, const RewriteOutcome& r) {
                         EXPECT_EQ(index, published.size()) << "published in input order";
                         published.push_back(Describe(r));
                     });
        EXPECT_EQ(published, expected);
        EXPECT_EQ(Outputs(many, together), Outputs(one, alone));

        std::vector<FindResult> found;
        FindInFiles(together, "EH36,EH36\n", settings,
                    [&](std::size_t index, FindResult result, const std::string&) {
                        EXPECT_EQ(index, found.size());
                        found.push_back(result);
                    });
        std::string error;
        for (std::size_t i = 0; i < together.size(); ++i)
            EXPECT_EQ(found.at(i), FileContains(together[i], "EH36,EH36\n", error)) << i;
    }
}

TEST(Pipeline, AStopInTheMiddleOfAGroupLeavesTheRestAsItWas) {
    test::TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 20; ++i) {
        paths.push_back(dir.File("s" + std::to_string(i) + ".sch"));
        test::WriteBytes(paths.back(), "AH36\n");
    }
    // The stop comes just before the third file is swapped in, with the whole group flushed.
    std::atomic<bool> stop{false};
    class StopAtThirdSwap : public WriteFaults {
    public:
        explicit StopAtThirdSwap(std::atomic<bool>& stop) : m_stop(stop) {}
        int Inject(WriteStep step) override {
            if (step == WriteStep::Rename && ++m_swaps == 3)
                m_stop = true;
            return 0;
        }

    private:
        std::atomic<bool>& m_stop;
        int m_swaps = 0;
    } faults(stop);
    PipelineSettings settings;
    settings.jobs = 2;
    settings.stop = &stop;
    settings.faults = &faults;
    FixedOptionBoxes boxes(true, true);
    std::vector<std::size_t> published;
    ReplaceFiles(paths, JobIn(dir), boxes, settings,
                 [&](std::size_t index, const RewriteOutcome&) { published.push_back(index); });
    ASSERT_GE(published.size(), 2u);
    EXPECT_LE(published.size(), 3u) << "the file in hand finishes, nothing after it starts";
    for (std::size_t i = 0; i < paths.size(); ++i)
        EXPECT_EQ(test::ReadBytes(paths[i]),
                  i < published.size() ? test::Native("EH36,EH36\n") : "AH36\n")
            << i;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        EXPECT_NE(entry.path().filename().string().rfind(".veldran-", 0), 0u)
            << "a temporary is left: " << entry.path();
}

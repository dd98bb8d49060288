// The progress line, driven by a clock of the test's own: drawn in place only on a terminal and
// only once a run has lasted a second, redrawn at most every tenth of a second, and blanked out
// before any other text reaches the screen.
#include "Reporter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using veldran::cli::Reporter;
using veldran::cli::ReporterWorld;

namespace {

struct Step {
    int atMs;            // time since the reporter was made
    std::size_t done;    // Progress(done, 3) when `failure` is empty
    const char* failure; // otherwise Failure(failure, "cannot read")
};

struct Case {
    const char* what;
    bool errIsTerminal;
    std::vector<Step> steps;
    std::string err; // stderr after the steps and the summary note
};

std::string Blank(std::size_t width) {
    return "\r" + std::string(width, ' ') + "\r";
}

const std::string kTwo = "veldran-cli: 2/3 files";
const std::string kThree = "veldran-cli: 3/3 files";
const std::string kSummary = "veldran-cli: 3 files\n";

std::string Contents(std::FILE* file) {
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
        text.push_back(static_cast<char>(c));
    return text;
}

} // namespace

TEST(Reporter, TheProgressLineFollowsTheRunsLengthAndNeverStaysInFrontOfOtherText) {
    const Case cases[] = {
        {"a run shorter than a second shows only the summary",
         true,
         {{100, 1, ""}, {600, 2, ""}, {999, 3, ""}},
         kSummary},
        {"a long run draws in place, at most every tenth of a second, and blanks before the "
         "summary",
         true,
         {{500, 1, ""}, {1000, 2, ""}, {1050, 3, ""}, {1200, 3, ""}},
         "\r" + kTwo + "\r" + kThree + Blank(kThree.size()) + kSummary},
        {"a failure blanks the line first, and the next file draws it again at once",
         true,
         {{1000, 2, ""}, {1010, 0, "a.sch"}, {1020, 3, ""}},
         "\r" + kTwo + Blank(kTwo.size()) + "veldran-cli: a.sch: cannot read\n" + "\r" + kThree +
             Blank(kThree.size()) + kSummary},
        {"no terminal, no progress however long the run",
         false,
         {{1000, 1, ""}, {5000, 2, ""}, {9000, 3, ""}},
         kSummary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::tmpfile(), std::fclose);
        const std::unique_ptr<std::FILE, int (*)(std::FILE*)> err(std::tmpfile(), std::fclose);
        ASSERT_TRUE(out && err);
        const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
        auto now = start;
        Reporter report(out.get(), err.get(),
                        ReporterWorld{false, c.errIsTerminal, [&now] { return now; }});
        for (const Step& step : c.steps) {
            now = start + std::chrono::milliseconds(step.atMs);
            if (*step.failure != '\0')
                report.Failure(step.failure, "cannot read");
            else
                report.Progress(step.done, 3);
        }
        report.Note("3 files");
        EXPECT_EQ(Contents(err.get()), c.err);
        EXPECT_EQ(Contents(out.get()), "");
    }
}

// The pipeline against the one-file-at-a-time path: the same bytes in every file and record, in
// the same order, whatever the number of threads; and a clean end when it is stopped.
#include "Pipeline.h"
#include "FindOnly.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <random>
#include <regex>
#include <stdexcept>
#include <system_error>
#include <thread>

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

namespace {

// Events between the test and the run's threads, never time.
class Events {
public:
    void Note(const std::string& what) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_count[what];
        m_changed.notify_all();
    }
    void WaitFor(const std::string& what, int times = 1) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_count[what] >= times; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, int> m_count;
};

std::vector<std::string> Files(const test::TempDir& dir, int count, const std::string& text) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back(dir.File("f" + std::to_string(i) + ".sch"));
        test::WriteBytes(paths.back(), text);
    }
    return paths;
}

} // namespace

#ifndef _WIN32
namespace {

bool Lockable(const std::string& path) {
    try {
        const test::HeldLock lock(path);
        return true;
    } catch (const std::runtime_error&) {
        return false;
    }
}

} // namespace

TEST(Pipeline, WhileItWaitsForAFileAnotherVeldranHoldsItHoldsNoFileAhead) {
    test::TempDir dir;
    const std::vector<std::string> paths = Files(dir, 6, "AH36\n");
    auto other = std::make_unique<test::HeldLock>(paths[0]); // another veldran at work on f0
    Events events;
    PipelineSettings settings;
    settings.jobs = 2;
    // The thread that takes up f0 lets the other finish f1 to f5 first, so that they are all
    // locked and done when the committer finds f0 held.
    settings.threads.idle = [&] { events.Note("idle"); };
    settings.beforeFile = [&](std::size_t index) {
        if (index == 0)
            events.WaitFor("idle");
    };
    std::vector<bool> lockable;
    settings.beforeWait = [&](std::size_t index) {
        EXPECT_EQ(index, 0u);
        for (std::size_t i = 1; i < paths.size(); ++i)
            lockable.push_back(Lockable(paths[i]));
        other.reset(); // the other veldran, no longer kept waiting, finishes
    };
    FixedOptionBoxes boxes(true, true);
    std::vector<std::string> errors;
    ReplaceFiles(paths, JobIn(dir), boxes, settings,
                 [&](std::size_t, const RewriteOutcome& r) { errors.push_back(r.error); });
    EXPECT_EQ(lockable, std::vector<bool>(paths.size() - 1, true));
    EXPECT_EQ(errors, std::vector<std::string>(paths.size()));
    for (const std::string& path : paths)
        EXPECT_EQ(test::ReadBytes(path), "EH36,EH36\n");
}

TEST(Pipeline, TwoRunsOverTheSameFilesInOppositeOrdersBothFinish) {
    // Each run's first file is held by the other run's files done ahead: each waits for what
    // the other holds, and both must let go of what is ahead for either to go on.
    test::TempDir dir;
    const std::vector<std::string> forward = Files(dir, 4, "AH36\n");
    const std::vector<std::string> backward(forward.rbegin(), forward.rend());
    Events events;
    auto settingsFor = [&](const std::string& run, const std::string& otherRun) {
        PipelineSettings settings;
        settings.jobs = 2;
        settings.threads.idle = [&events, run] { events.Note(run + " idle"); };
        settings.beforeFile = [&events, run, otherRun](std::size_t index) {
            if (index == 0) {
                events.WaitFor(run + " idle");
                events.WaitFor(otherRun + " idle");
            }
        };
        return settings;
    };
    const PipelineSettings a = settingsFor("a", "b");
    const PipelineSettings b = settingsFor("b", "a");
    RewriteJob job = JobIn(dir);
    job.find = "AH36";
    job.replace = "EH36";
    std::vector<std::string> errorsA;
    std::vector<std::string> errorsB;
    std::thread other([&] {
        FixedOptionBoxes boxes(false, false);
        ReplaceFiles(backward, job, boxes, b,
                     [&](std::size_t, const RewriteOutcome& r) { errorsB.push_back(r.error); });
    });
    FixedOptionBoxes boxes(false, false);
    ReplaceFiles(forward, job, boxes, a,
                 [&](std::size_t, const RewriteOutcome& r) { errorsA.push_back(r.error); });
    other.join();
    EXPECT_EQ(errorsA, std::vector<std::string>(forward.size()));
    EXPECT_EQ(errorsB, std::vector<std::string>(forward.size()));
    for (const std::string& path : forward)
        EXPECT_EQ(test::ReadBytes(path), "EH36\n");
}
#endif

TEST(Pipeline, AFileGivenAgainUnderAnyNameIsRewrittenOnceAndTheRestAreSkipped) {
    struct Case {
        const char* name;
        // Paths in the directory: "=NAME" makes a hard link to a.sch, others are plain files.
        std::vector<std::string> given;
        std::vector<int> sameAs; // for each path, the index of the first name of its file, or -1
    };
    std::vector<Case> cases;
    {
        Case links{"twenty hard links", {"a.sch"}, {-1}};
        for (int i = 1; i < 20; ++i) {
            links.given.push_back("=l" + std::to_string(i) + ".sch");
            links.sameAs.push_back(0);
        }
        cases.push_back(links);
        Case twenty{"one path twenty times", {}, {-1}};
        twenty.given.assign(20, "a.sch");
        twenty.sameAs.resize(20, 0);
        cases.push_back(twenty);
    }
    cases.push_back({"a name and the same name through ./", {"a.sch", "./a.sch"}, {-1, 0}});
    cases.push_back({"between other files",
                     {"b.sch", "a.sch", "c.sch", "./b.sch", "=l.sch", "d.sch"},
                     {-1, -1, -1, 0, 1, -1}});
    for (const unsigned jobs : {1u, 4u}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", jobs " + std::to_string(jobs));
            test::TempDir dir;
            std::vector<std::string> paths;
            std::vector<std::string> files; // each file once
            for (const std::string& given : c.given) {
                const bool link = given[0] == '=';
                const std::string name = link ? given.substr(1) : given;
                const std::string path = (dir.Path() / name).lexically_normal().string();
                if (link) {
                    fs::create_hard_link(dir.File("a.sch"), path);
                } else if (!fs::exists(path)) {
                    test::WriteBytes(path, "X\n");
                    files.push_back(path);
                }
                paths.push_back(dir.File(name));
            }
            PipelineSettings settings;
            settings.jobs = jobs;
            FixedOptionBoxes boxes(true, false);
            RewriteJob job = JobIn(dir);
            job.find = "X";
            job.replace = "XX"; // a second rewrite would show
            std::vector<std::string> errors;
            ReplaceFiles(paths, job, boxes, settings,
                         [&](std::size_t index, const RewriteOutcome& r) {
                             EXPECT_EQ(index, errors.size());
                             errors.push_back(r.error);
                         });
            std::vector<std::string> expected;
            for (const int first : c.sameAs)
                expected.push_back(first < 0 ? "" : SameFileAs(paths[first]));
            EXPECT_EQ(errors, expected);
            for (const std::string& file : files)
                EXPECT_EQ(test::ReadBytes(file), test::Native("XX\n")) << file;
            // One log record for each file, each naming its file once.
            const std::string log = test::ReadBytes(dir.File("VELDRAN.log"));
            std::ptrdiff_t records = 0;
            for (std::size_t at = log.find(".sch"); at != std::string::npos;
                 at = log.find(".sch", at + 1))
                ++records;
            EXPECT_EQ(records, std::count(expected.begin(), expected.end(), ""));
        }
    }
}

TEST(Pipeline, AFileWhoseSetUpThrowsFailsAloneAndTheRunGoesOn) {
    const struct {
        const char* name;
        std::function<void()> raise;
        const char* error;
    } cases[] = {
        {"out of memory", [] { throw std::bad_alloc(); }, "cannot read: out of memory"},
        {"anything else", [] { throw std::runtime_error("no handle left"); },
         "cannot rewrite: no handle left"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const std::vector<std::string> paths = Files(dir, 8, "AH36\n");
        PipelineSettings settings;
        settings.jobs = 3;
        settings.beforeFile = [&](std::size_t index) {
            if (index == 3)
                c.raise();
        };
        FixedOptionBoxes boxes(false, false);
        std::vector<std::string> errors;
        ReplaceFiles(paths, JobIn(dir), boxes, settings,
                     [&](std::size_t, const RewriteOutcome& r) { errors.push_back(r.error); });
        std::vector<std::string> expected(paths.size());
        expected[3] = c.error;
        EXPECT_EQ(errors, expected);
        for (std::size_t i = 0; i < paths.size(); ++i)
            EXPECT_EQ(test::ReadBytes(paths[i]), i == 3 ? "AH36\n" : test::Native("EH36,EH36\n"));
    }
}

TEST(Pipeline, ThreadsThatCannotStartLeaveTheWorkToThoseThatDid) {
    for (const int given : {0, 1, 3}) {
        SCOPED_TRACE(given);
        test::TempDir dir;
        const std::vector<std::string> paths = Files(dir, 40, "AH36\n");
        int started = 0;
        PipelineSettings settings;
        settings.jobs = 8;
        settings.threads.startThread = [&](std::function<void()> body) {
            if (started == given)
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            ++started;
            return std::thread(std::move(body));
        };
        FixedOptionBoxes boxes(false, false);
        std::vector<std::string> errors;
        ReplaceFiles(paths, JobIn(dir), boxes, settings,
                     [&](std::size_t, const RewriteOutcome& r) { errors.push_back(r.error); });
        EXPECT_EQ(errors, std::vector<std::string>(paths.size()));
        for (const std::string& path : paths)
            EXPECT_EQ(test::ReadBytes(path), test::Native("EH36,EH36\n"));
    }
}

TEST(Pipeline, AStopAtAnySwapPublishesExactlyTheFilesSwappedIn) {
    // The stop comes at the swap of file k: in a group, first or last of one, or alone.
    for (const int k : {1, 2, 64, 65, 70}) {
        SCOPED_TRACE(k);
        test::TempDir dir;
        const std::vector<std::string> paths = Files(dir, 70, "AH36\n");
        std::atomic<bool> stop{false};
        class StopAtSwap : public WriteFaults {
        public:
            StopAtSwap(std::atomic<bool>& stop, int k) : m_stop(stop), m_k(k) {}
            int Inject(WriteStep step) override {
                if (step == WriteStep::Rename && ++m_swaps == m_k)
                    m_stop = true;
                return 0;
            }

        private:
            std::atomic<bool>& m_stop;
            int m_k;
            int m_swaps = 0;
        } faults(stop, k);
        PipelineSettings settings;
        settings.jobs = 2;
        settings.stop = &stop;
        settings.faults = &faults;
        FixedOptionBoxes boxes(true, true);
        std::vector<std::string> published;
        ReplaceFiles(paths, JobIn(dir), boxes, settings,
                     [&](std::size_t index, const RewriteOutcome& r) {
                         if (r.changed && r.logRecords == 1 && r.batchRecord)
                             published.push_back(paths[index]);
                     });
        std::vector<std::string> swapped;
        for (const std::string& path : paths)
            if (test::ReadBytes(path) != "AH36\n")
                swapped.push_back(path);
        EXPECT_EQ(published, swapped);
        const std::string log = test::ReadBytes(dir.File("VELDRAN.log"));
        const std::string batch = test::ReadBytes(dir.File("BATCH.dat"));
        for (const std::string& path : paths) {
            const bool in = std::find(swapped.begin(), swapped.end(), path) != swapped.end();
            EXPECT_EQ(log.find(path) != std::string::npos, in) << path;
            EXPECT_EQ(batch.find(path + "\n") != std::string::npos ||
                          batch.find(path + "\r\n") != std::string::npos,
                      in)
                << path;
        }
    }
}

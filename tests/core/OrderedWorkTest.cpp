// The scheduler's guarantees with fake work whose every step the test controls: no test here
// waits on time; each waits for the event it needs (a worker going idle, a file done).
#include "OrderedWork.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

using namespace veldran;

namespace {

// What the fake work did, and the events a test waits for.
class Record {
public:
    void Started(std::size_t index) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_started;
        ++m_runs.at(index);
        m_changed.notify_all();
    }
    void Finished(std::size_t index) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_finished.at(index) = true;
        m_changed.notify_all();
    }
    void Destroyed() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_destroyed;
    }
    // Called by a worker with the scheduler's lock held: only this object's lock is taken.
    void Idle() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        ++m_idle;
        m_changed.notify_all();
    }
    void WaitForIdleAfter(int idleSeen) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_idle > idleSeen; });
    }
    void WaitFinished(std::size_t index) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return m_finished.at(index); });
    }
    int IdleCalls() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_idle;
    }
    int StartedCount() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_started;
    }
    int DestroyedCount() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_destroyed;
    }
    int Runs(std::size_t index) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_runs.at(index);
    }
    explicit Record(std::size_t count) : m_runs(count, 0), m_finished(count, false) {}

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_started = 0;
    int m_destroyed = 0;
    int m_idle = 0;
    std::vector<int> m_runs;
    std::vector<bool> m_finished;
};

struct Result {
    Result(std::size_t i, int r, std::size_t b, Record& rec)
        : index(i), run(r), bytes(b), record(rec) {}
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
    ~Result() { record.Destroyed(); }
    std::size_t index;
    int run; // 1 the first time the file was done, 2 the second...
    std::size_t bytes;
    Record& record;
};

using Work = OrderedWork<Result>;

Work::Size SizeOf() {
    return [](const Result& r) { return r.bytes; };
}

Work::Work Counting(Record& record, std::size_t bytes) {
    return [&record, bytes](std::size_t index) {
        record.Started(index);
        auto result = std::make_unique<Result>(index, record.Runs(index), bytes, record);
        record.Finished(index);
        return result;
    };
}

OrderedWorkSeams Watching(Record& record) {
    OrderedWorkSeams seams;
    seams.idle = [&record] { record.Idle(); };
    return seams;
}

constexpr std::size_t kFiles = 100;
constexpr std::size_t kNoLimit = static_cast<std::size_t>(-1);

} // namespace

TEST(OrderedWork, WorkersGoNoFurtherThanTheFilesAndBytesAheadAllowed) {
    const struct {
        const char* name;
        std::size_t maxBytes;
        std::size_t bytesEach;
        unsigned jobs;
        int started; // once the workers sit idle with nothing taken
    } cases[] = {
        {"files ahead, one thread", kNoLimit, 0, 1, static_cast<int>(kAheadPerJob)},
        {"files ahead, two threads", kNoLimit, 0, 2, static_cast<int>(2 * kAheadPerJob)},
        {"bytes: the file that reaches the limit is the last", 35, 10, 1, 4},
        {"bytes: a file larger than the limit is still done", 5, 100, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Record record(kFiles);
        {
            Work work(kFiles, c.jobs, 1, c.maxBytes, nullptr, Counting(record, c.bytesEach),
                      SizeOf(), Watching(record));
            // The first worker to find nothing it may do: from then on nothing starts.
            record.WaitForIdleAfter(0);
        } // the workers end; what they started stays counted
        EXPECT_EQ(record.StartedCount(), c.started);
    }
}

TEST(OrderedWork, ResultsAreTakenInInputOrderWhateverOrderTheyFinishIn) {
    // Each even file waits for the odd one after it to finish first.
    Record record(kFiles);
    Work work(
        kFiles, 4, 1, kNoLimit, nullptr,
        [&](std::size_t index) {
            if (index % 2 == 0 && index + 1 < kFiles)
                record.WaitFinished(index + 1);
            record.Started(index);
            auto result = std::make_unique<Result>(index, 1, 0, record);
            record.Finished(index);
            return result;
        },
        SizeOf());
    for (std::size_t i = 0; i < kFiles; ++i) {
        const std::unique_ptr<Result> result = work.Take(i);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->index, i);
    }
}

TEST(OrderedWork, DropAheadReleasesTheResultsAheadAtOnceAndNothingStartsUntilTheNextTake) {
    constexpr std::size_t kCount = 10;
    Record record(kCount);
    Work work(kCount, 1, 1, kNoLimit, nullptr, Counting(record, 1), SizeOf(), Watching(record));
    record.WaitForIdleAfter(0); // every file done and handed over
    ASSERT_NE(work.Take(0), nullptr);
    const int destroyedBefore = record.DestroyedCount();
    const int idleBefore = record.IdleCalls();
    work.DropAhead(0);
    EXPECT_EQ(record.DestroyedCount() - destroyedBefore, static_cast<int>(kCount - 1))
        << "every result after the file is gone when DropAhead returns";
    // The worker wakes to the drop and finds nothing it may do while the committer waits.
    record.WaitForIdleAfter(idleBefore);
    EXPECT_EQ(record.StartedCount(), static_cast<int>(kCount));
    for (std::size_t i = 1; i < kCount; ++i) {
        const std::unique_ptr<Result> result = work.Take(i);
        ASSERT_NE(result, nullptr);
        EXPECT_EQ(result->index, i);
        EXPECT_EQ(result->run, 2) << "dropped work is done again";
    }
}

TEST(OrderedWork, WhatTheWorkThrowsReachesTheCommitterForThatFileAlone) {
    const struct {
        const char* name;
        unsigned jobs;
        std::size_t chunk;
    } cases[] = {{"one thread", 1, 1}, {"three threads", 3, 1}, {"in chunks", 2, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Record record(kFiles);
        Work work(
            kFiles, c.jobs, c.chunk, kNoLimit, nullptr,
            [&](std::size_t index) -> std::unique_ptr<Result> {
                if (index == 5)
                    throw std::bad_alloc();
                if (index == 6)
                    throw std::runtime_error("no handle");
                return std::make_unique<Result>(index, 1, 0, record);
            },
            SizeOf());
        for (std::size_t i = 0; i < kFiles; ++i) {
            if (i == 5) {
                EXPECT_THROW(work.Take(i), std::bad_alloc);
            } else if (i == 6) {
                EXPECT_THROW(work.Take(i), std::runtime_error);
            } else {
                const std::unique_ptr<Result> result = work.Take(i);
                ASSERT_NE(result, nullptr) << i;
                EXPECT_EQ(result->index, i);
            }
        }
    }
}

TEST(OrderedWork, ThreadsThatCannotStartAreDoneWithout) {
    const struct {
        const char* name;
        int threadsTheSystemGives;
    } cases[] = {
        {"none: the committer does the work", 0}, {"one of four", 1}, {"three of four", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Record record(kFiles);
        int started = 0;
        OrderedWorkSeams seams;
        seams.startThread = [&](std::function<void()> body) {
            if (started == c.threadsTheSystemGives)
                throw std::system_error(
                    std::make_error_code(std::errc::resource_unavailable_try_again));
            ++started;
            return std::thread(std::move(body));
        };
        const std::thread::id committer = std::this_thread::get_id();
        std::atomic<bool> ranHere{false};
        Work work(
            kFiles, 4, 1, kNoLimit, nullptr,
            [&](std::size_t index) {
                if (std::this_thread::get_id() == committer)
                    ranHere = true;
                return std::make_unique<Result>(index, 1, 0, record);
            },
            SizeOf(), seams);
        for (std::size_t i = 0; i < kFiles; ++i) {
            const std::unique_ptr<Result> result = work.Take(i, i % 3 == 0);
            if (result)
                EXPECT_EQ(result->index, i);
            else
                ASSERT_NE(work.Take(i), nullptr) << i; // not done yet: waited for
        }
        EXPECT_EQ(ranHere.load(), c.threadsTheSystemGives == 0);
    }
}

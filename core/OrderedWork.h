#pragma once
// Work over many files on a small pool of threads, whose results one thread takes in input order.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace veldran {

// Files ahead of the committer, per thread: enough to fill a group while the last one is
// swapped in, few enough that memory stays within a few files.
constexpr std::size_t kAheadPerJob = 16;

// Seams for tests; the defaults are what a run uses.
struct OrderedWorkSeams {
    // Starts a thread running `body`. Throws, as std::thread does, when the system has no
    // thread to give.
    std::function<std::thread(std::function<void()> body)> startThread;
    // Called by a worker, with the scheduler's lock held, each time it finds nothing it may do
    // and goes to sleep. It must not call back into the scheduler.
    std::function<void()> idle;
};

// The committer (the thread that made the object) takes the results with Take, in input order;
// the workers do the work ahead of it. What it guarantees:
// - Take(i) hands over the result of file i, whatever order the workers finished in.
// - A worker starts no file further than `ahead` files past the last one taken (`ahead` is
//   kAheadPerJob, or two chunks, for each thread asked for).
// - A worker starts no file while the finished results not taken yet hold `maxBytes` or more
//   (as `size` counts them), except the very file the committer waits for: so what is held
//   stays under `maxBytes` plus a file for each thread, and a file larger than `maxBytes` alone
//   is still done.
// - DropAhead(i) releases every result after i at once (their destructors run before it
//   returns, which lets go of what they hold) and no worker starts anything until the committer
//   takes again; the dropped work is done again.
// - Nothing a worker throws escapes its thread: Take of that file throws it on the committer.
// - Threads that cannot be started are done without; with none at all, Take does the work on
//   the committer's thread.
template <typename Result> class OrderedWork {
public:
    using Work = std::function<std::unique_ptr<Result>(std::size_t index)>;
    using Size = std::function<std::size_t(const Result&)>;

    // `chunk` files are taken at a time and handed over together: for work that takes
    // microseconds a file, waking the committer for each would cost more than the work.
    OrderedWork(std::size_t count, unsigned jobs, std::size_t chunk, std::size_t maxBytes,
                const std::atomic<bool>* stop, Work work, Size size,
                OrderedWorkSeams seams = OrderedWorkSeams{})
        : m_slots(count), m_chunk(std::max<std::size_t>(chunk, 1)),
          m_ahead(std::max<std::size_t>(jobs, 1) * std::max(kAheadPerJob, 2 * m_chunk)),
          m_maxBytes(maxBytes), m_stop(stop), m_work(std::move(work)), m_size(std::move(size)),
          m_idle(std::move(seams.idle)) {
        m_threads.reserve(jobs);
        for (unsigned i = 0; i < jobs; ++i) {
            // A thread that cannot start is no failure while another runs: fewer do the work.
            try {
                m_threads.push_back(seams.startThread ? seams.startThread([this] { Run(); })
                                                      : std::thread([this] { Run(); }));
            } catch (const std::exception&) {
                break;
            }
        }
    }
    OrderedWork(const OrderedWork&) = delete;
    OrderedWork& operator=(const OrderedWork&) = delete;
    ~OrderedWork() {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_closing = true;
        }
        m_changed.notify_all();
        for (std::thread& t : m_threads)
            t.join();
    }

    // The result of file `index`, once it is there; nullptr when the run stopped before it (or,
    // without `wait`, when it is not done yet). Results must be taken in order.
    std::unique_ptr<Result> Take(std::size_t index, bool wait = true) {
        if (m_threads.empty())
            return TakeHere(index);
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_holding) {
            m_holding = false;
            m_changed.notify_all();
        }
        m_changed.wait(lock, [&] {
            return !wait || m_slots[index].result || m_slots[index].failure || index >= m_ended;
        });
        Slot slot = std::move(m_slots[index]);
        if (slot.result || slot.failure) {
            if (slot.result)
                m_bytes -= m_size(*slot.result);
            m_taken = index + 1;
            m_changed.notify_all();
        }
        lock.unlock();
        if (slot.failure)
            std::rethrow_exception(slot.failure);
        return std::move(slot.result);
    }

    // Forgets every result after `index` (and what is being done after it), so that nothing
    // ahead is held while the committer waits; the workers start again from index + 1 once the
    // committer takes its next result.
    void DropAhead(std::size_t index) {
        // Destroyed once the lock is let go: undoing a file's work takes system calls.
        std::vector<std::unique_ptr<Result>> dropped; // cppcheck-suppress variableScope
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            ++m_generation;
            m_holding = true;
            for (std::size_t i = index + 1; i < m_slots.size(); ++i) {
                if (m_slots[i].result) {
                    m_bytes -= m_size(*m_slots[i].result);
                    dropped.push_back(std::move(m_slots[i].result));
                }
                m_slots[i].failure = nullptr;
            }
            m_next = std::min(m_next, index + 1);
        }
        m_changed.notify_all();
    }

private:
    struct Slot {
        std::unique_ptr<Result> result;
        std::exception_ptr failure; // what the work threw instead
    };

    // The work of file `index` on the committer's thread, when no worker could be started.
    std::unique_ptr<Result> TakeHere(std::size_t index) {
        if (index >= m_slots.size() || (m_stop != nullptr && m_stop->load()))
            return nullptr;
        m_taken = index + 1;
        return m_work(index);
    }

    bool MayStart() const {
        return m_next < m_slots.size() && m_next < m_taken + m_ahead && !m_holding &&
               (m_bytes < m_maxBytes || m_next == m_taken);
    }

    void Run() {
        for (;;) {
            std::size_t first = 0;
            std::size_t last = 0;
            std::size_t generation = 0;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                // Workers stay until the end: the committer may hand work back (DropAhead).
                while (!m_closing && !MayStart()) {
                    if (m_idle)
                        m_idle();
                    m_changed.wait(lock);
                }
                if (m_closing || (m_stop != nullptr && m_stop->load())) {
                    // Nothing more will come: the committer must not wait for it.
                    m_ended = std::min(m_ended, m_next);
                    m_changed.notify_all();
                    return;
                }
                first = m_next;
                last = std::min({m_slots.size(), first + m_chunk, m_taken + m_ahead});
                m_next = last;
                generation = m_generation;
            }
            // Nothing leaves the thread: the committer meets what was thrown as it takes the file.
            std::vector<Slot> results;
            std::exception_ptr noRoom;
            try {
                results.resize(last - first);
            } catch (...) {
                noRoom = std::current_exception();
            }
            for (std::size_t index = first; index < last && !noRoom; ++index) {
                try {
                    results[index - first].result = m_work(index);
                } catch (...) {
                    results[index - first].failure = std::current_exception();
                }
            }
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                // Another thread may have dropped the work meanwhile.
                // cppcheck-suppress knownConditionTrueFalse
                if (generation != m_generation)
                    continue; // dropped meanwhile: undone as the results go
                for (std::size_t index = first; index < last; ++index) {
                    if (noRoom) {
                        m_slots[index].failure = noRoom;
                        continue;
                    }
                    Slot& slot = results[index - first];
                    if (slot.result)
                        m_bytes += m_size(*slot.result);
                    m_slots[index] = std::move(slot);
                }
            }
            m_changed.notify_all();
        }
    }

    std::vector<Slot> m_slots;
    const std::size_t m_chunk;
    const std::size_t m_ahead;
    const std::size_t m_maxBytes;
    const std::atomic<bool>* m_stop; // set from outside: no further file is started
    Work m_work;
    Size m_size;
    std::function<void()> m_idle;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_next = 0;                             // the next file a worker takes
    std::size_t m_taken = 0;                            // files the committer has taken
    std::size_t m_bytes = 0;                            // text held by finished files not yet taken
    std::size_t m_ended = static_cast<std::size_t>(-1); // files from here on were never started
    std::size_t m_generation = 0;                       // counts DropAhead calls
    bool m_holding = false; // after DropAhead, until the committer takes again
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};

} // namespace veldran

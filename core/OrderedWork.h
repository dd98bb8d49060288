#pragma once
// Work over many files on a small pool of threads, whose results one thread takes in input order.

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace veldran {

// Files ahead of the committer, per thread: enough to fill a group while the last one is
// swapped in, few enough that memory stays within a few files.
constexpr std::size_t kAheadPerJob = 16;

// Workers take files in input order and leave each result in its slot; the committer takes the
// slots in order. A worker never runs further ahead of the committer than `ahead` files, or than
// `maxBytes` of held text, except for the very next file the committer waits for. The committer
// can drop the work ahead of it, to be done again.
template <typename Result> class OrderedWork {
public:
    using Work = std::function<std::unique_ptr<Result>(std::size_t index)>;
    using Size = std::function<std::size_t(const Result&)>;

    // `chunk` files are taken at a time and handed over together: for work that takes
    // microseconds a file, waking the committer for each would cost more than the work.
    OrderedWork(std::size_t count, unsigned jobs, std::size_t chunk, std::size_t maxBytes,
                const std::atomic<bool>* stop, Work work, Size size)
        : m_slots(count), m_chunk(std::max<std::size_t>(chunk, 1)),
          m_ahead(std::max<std::size_t>(jobs * std::max(kAheadPerJob, 2 * m_chunk), 1)),
          m_maxBytes(maxBytes), m_stop(stop), m_work(std::move(work)), m_size(std::move(size)) {
        for (unsigned i = 0; i < jobs; ++i)
            m_threads.emplace_back([this] { Run(); });
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

    // The result of file `index`, once it is there; nullptr when the run stopped before it.
    // Results must be taken in order.
    std::unique_ptr<Result> Take(std::size_t index, bool wait = true) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [&] { return !wait || m_slots[index] || index >= m_ended; });
        std::unique_ptr<Result> result = std::move(m_slots[index]);
        if (result) {
            m_bytes -= m_size(*result);
            m_taken = index + 1;
            m_changed.notify_all();
        }
        return result;
    }

    // Forgets every result after `index` (and what is being done after it), so that nothing
    // ahead is held while the committer waits; the workers go on from index + 1.
    void DropAhead(std::size_t index) {
        // Destroyed once the lock is let go: undoing a file's work takes system calls.
        std::vector<std::unique_ptr<Result>> dropped; // cppcheck-suppress variableScope
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            ++m_generation;
            for (std::size_t i = index + 1; i < m_slots.size(); ++i)
                if (m_slots[i]) {
                    m_bytes -= m_size(*m_slots[i]);
                    dropped.push_back(std::move(m_slots[i]));
                }
            m_next = std::min(m_next, index + 1);
        }
        m_changed.notify_all();
    }

private:
    void Run() {
        for (;;) {
            std::size_t first = 0;
            std::size_t last = 0;
            std::size_t generation = 0;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                // Workers stay until the end: the committer may hand work back (DropAhead).
                m_changed.wait(lock, [&] {
                    return m_closing || (m_next < m_slots.size() && m_next < m_taken + m_ahead &&
                                         (m_bytes < m_maxBytes || m_next == m_taken));
                });
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
            std::vector<std::unique_ptr<Result>> results;
            for (std::size_t index = first; index < last; ++index)
                results.push_back(m_work(index));
            {
                const std::lock_guard<std::mutex> lock(m_mutex);
                // Another thread may have dropped the work meanwhile.
                // cppcheck-suppress knownConditionTrueFalse
                if (generation != m_generation)
                    continue; // dropped meanwhile: undone as the results go
                for (std::size_t index = first; index < last; ++index) {
                    m_bytes += m_size(*results[index - first]);
                    m_slots[index] = std::move(results[index - first]);
                }
            }
            m_changed.notify_all();
        }
    }

    std::vector<std::unique_ptr<Result>> m_slots;
    const std::size_t m_chunk;
    const std::size_t m_ahead;
    const std::size_t m_maxBytes;
    const std::atomic<bool>* m_stop; // set from outside: no further file is started
    Work m_work;
    Size m_size;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_next = 0;                             // the next file a worker takes
    std::size_t m_taken = 0;                            // files the committer has taken
    std::size_t m_bytes = 0;                            // text held by finished files not yet taken
    std::size_t m_ended = static_cast<std::size_t>(-1); // files from here on were never started
    std::size_t m_generation = 0;                       // counts DropAhead calls
    bool m_closing = false;
    std::vector<std::thread> m_threads;
};

} // namespace veldran

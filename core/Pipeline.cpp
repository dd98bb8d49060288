#include "Pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace veldran {

namespace {

// Files ahead of the committer, per thread: enough to fill a group while the last one is
// swapped in, few enough that memory stays within a few files.
constexpr std::size_t kAheadPerJob = 16;
// A group of new files made durable together: bounded, so an interrupt or a failure leaves at
// most this much to clean up, and memory stays bounded for large files.
constexpr std::size_t kGroupFiles = 64;
constexpr std::size_t kGroupBytes = std::size_t{64} << 20;
// Files a Find Only worker takes at a time: most scheme files are searched in microseconds.
constexpr std::size_t kFindChunk = 32;

unsigned Jobs(const PipelineSettings& settings, std::size_t files) {
    unsigned jobs = settings.jobs != 0 ? settings.jobs : std::thread::hardware_concurrency();
    jobs = std::max(jobs, 1u);
    return static_cast<unsigned>(std::min<std::size_t>(jobs, std::max<std::size_t>(files, 1)));
}

bool Stopped(const PipelineSettings& settings) {
    return settings.stop != nullptr && settings.stop->load();
}

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
                const PipelineSettings& s, Work work, Size size)
        : m_slots(count), m_chunk(std::max<std::size_t>(chunk, 1)),
          m_ahead(std::max<std::size_t>(jobs * std::max(kAheadPerJob, 2 * m_chunk), 1)),
          m_maxBytes(maxBytes), m_settings(s), m_work(std::move(work)), m_size(std::move(size)) {
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
                if (m_closing || Stopped(m_settings)) {
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
    const PipelineSettings& m_settings;
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

RewriteJob JobFor(const RewriteJob& job, const std::string& path,
                  const PipelineSettings& settings) {
    RewriteJob own = job;
    own.path = path;
    own.stop = settings.stop;
    return own;
}

using Group = std::deque<std::pair<std::size_t, std::unique_ptr<FileInFlight>>>;

// Makes the new files of a group durable: one flush for all where the system has it.
void FlushGroup(Group& group, const PipelineSettings& settings) {
    std::vector<FileInFlight*> files;
    std::vector<RewritableFile*> replacements;
    for (auto& [index, file] : group)
        if (RewritableFile* replacement = file->Replacement()) {
            files.push_back(file.get());
            replacements.push_back(replacement);
        }
    if (files.size() == 1) {
        files.front()->Flush(settings.faults);
        return;
    }
    std::string error;
    if (!files.empty() && !RewritableFile::FlushTogether(replacements, error, settings.faults))
        for (FileInFlight* file : files)
            file->FailFlush(error);
}

} // namespace

void ReplaceFiles(const std::vector<std::string>& paths, const RewriteJob& job, OptionBoxes& boxes,
                  const PipelineSettings& settings, const PublishReplace& publish) {
    OrderedWork<FileInFlight> work(
        paths.size(), Jobs(settings, paths.size()), 1, kGroupBytes * 2, settings,
        [&](std::size_t index) {
            auto file = std::make_unique<FileInFlight>(JobFor(job, paths[index], settings));
            // Never waits for another veldran's lock here: see below.
            file->Prepare(settings.faults, false);
            return file;
        },
        [](const FileInFlight& file) { return file.Bytes(); });

    Group group;
    std::unique_ptr<FileInFlight> carried;
    std::size_t next = 0;
    while (next < paths.size() && !Stopped(settings)) {
        // A group: the next file, waited for, and those after it that are already done.
        std::size_t bytes = 0;
        for (bool first = true;
             next < paths.size() && group.size() < kGroupFiles && bytes < kGroupBytes;
             first = false) {
            std::unique_ptr<FileInFlight> file =
                carried ? std::move(carried) : work.Take(next, first);
            if (!file)
                break;
            if (file->Busy()) {
                // Another veldran holds it. Waiting while holding the locks of the files ahead
                // could wait forever for a veldran that waits for one of those: they are let go
                // first, and done again afterwards.
                if (!first) {
                    carried = std::move(file); // it begins the next group
                    break;
                }
                work.DropAhead(next);
                file = std::make_unique<FileInFlight>(JobFor(job, paths[next], settings));
                file->Prepare(settings.faults, true);
            }
            bytes += file->Bytes();
            group.emplace_back(next++, std::move(file));
        }
        if (group.empty())
            break; // stopped before the next file was started
        FlushGroup(group, settings);
        // Swapped in and published one by one, in order; on a stop the rest of the group goes
        // (its new files removed, the originals as they were).
        for (; !group.empty() && !Stopped(settings); group.pop_front()) {
            auto& [index, file] = group.front();
            file->Complete(boxes, settings.faults);
            publish(index, file->outcome);
        }
        group.clear();
    }
}

void FindInFiles(const std::vector<std::string>& paths, std::string_view find,
                 const PipelineSettings& settings, const PublishFind& publish) {
    struct Found {
        FindResult result = FindResult::NotFound;
        std::string error;
    };
    OrderedWork<Found> work(
        paths.size(), Jobs(settings, paths.size()), kFindChunk, static_cast<std::size_t>(-1),
        settings,
        [&](std::size_t index) {
            auto found = std::make_unique<Found>();
            found->result = FileContains(paths[index], find, found->error);
            return found;
        },
        [](const Found&) { return std::size_t{0}; });
    for (std::size_t i = 0; i < paths.size() && !Stopped(settings); ++i) {
        const std::unique_ptr<Found> found = work.Take(i);
        if (!found)
            break;
        publish(i, found->result, found->error);
    }
}

} // namespace veldran

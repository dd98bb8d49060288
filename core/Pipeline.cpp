#include "Pipeline.h"

#include "OrderedWork.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <utility>

namespace veldran {

namespace {

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

// The files of one run by identity (device and inode; volume and file index): each is rewritten
// once, under the first name given for it. A worker claims a file after opening it and before
// taking its lock; a file claimed for another name is left alone, never waited for, since the
// committer may be the one holding it.
class Claims {
public:
    using Key = std::pair<std::uint64_t, std::uint64_t>;
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    static Key KeyOf(const FileIdentity& id) { return {id.volume, id.index}; }

    // A worker's claim for file `index`; refused while another holds the file, once the
    // committer took it up, or while the committer wants it for another index.
    bool TryClaim(const Key& key, std::size_t index) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        Entry& entry = m_entries[key];
        if (entry.held || entry.first != kNone || (entry.wanted != kNone && entry.wanted != index))
            return false;
        entry.held = true;
        return true;
    }
    // The committer's claim for file `index`: waits until no worker holds the file (a worker
    // never waits for anything, so it lets go soon). False when the file was already taken up
    // under an earlier name.
    bool Claim(const Key& key, std::size_t index) {
        std::unique_lock<std::mutex> lock(m_mutex);
        Entry& entry = m_entries[key];
        entry.wanted = index;
        m_released.wait(lock, [&] { return !entry.held; });
        if (entry.first != kNone && entry.first != index)
            return false;
        entry.held = true;
        return true;
    }
    void Release(const Key& key) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_entries[key].held = false;
        }
        m_released.notify_all();
    }
    // The committer took the file up as file `index`; every later name of it is skipped.
    // `renewed`: the identity is that of a file made just now, so whatever had it before (a file
    // of this run swapped out and gone, whose inode the system gave again) is no longer there.
    void TakenUp(const Key& key, std::size_t index, bool renewed = false) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        Entry& entry = m_entries[key];
        if (entry.first == kNone || renewed)
            entry.first = index;
    }
    // The index the file was taken up as, or kNone.
    std::size_t First(const Key& key) {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries[key].first;
    }

private:
    struct Entry {
        bool held = false;          // a file in flight holds it (and may hold its lock)
        std::size_t first = kNone;  // taken up by the committer as this index
        std::size_t wanted = kNone; // the committer waits to claim it for this index
    };
    std::mutex m_mutex;
    std::condition_variable m_released;
    std::map<Key, Entry> m_entries;
};

// One file of a Replace on its way, with its claim: let go after the file (and its lock).
struct Prepared {
    explicit Prepared(Claims& c) : claims(c) {}
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;
    ~Prepared() {
        file.reset();
        LetGo();
    }
    void LetGo() {
        if (claimed)
            claims.Release(key);
        claimed = false;
    }

    Claims& claims;
    Claims::Key key{};
    bool claimed = false; // this file holds its identity's claim
    bool refused = false; // the identity was claimed for another name
    std::unique_ptr<FileInFlight> file;
};

constexpr const char* kOutOfMemory = "cannot read: out of memory";

class ReplaceRun {
public:
    ReplaceRun(const std::vector<std::string>& paths, const RewriteJob& job,
               const PipelineSettings& settings)
        : m_paths(paths), m_job(job), m_settings(settings) {}

    // Sets up, reads and rewrites file `index`: on a worker (`inOrder` false) without waiting
    // for anything; on the committer waiting for the file's claim and lock. Whatever is thrown
    // fails the file alone.
    std::unique_ptr<Prepared> Attempt(std::size_t index, bool inOrder) {
        try {
            return Prepare(index, inOrder);
        } catch (const std::bad_alloc&) {
            return Failed(kOutOfMemory);
        } catch (const std::exception& e) {
            return Failed(std::string("cannot rewrite: ") + e.what());
        }
    }

    // Whether the committer must let go of the files ahead and wait for this one: another
    // veldran holds it, or a later name of it ran ahead and holds the claim.
    bool MustWait(const Prepared& p) {
        return p.file->Busy() || (p.refused && m_claims.First(p.key) == Claims::kNone);
    }

    // The committer takes file `index` up: a later name of a file taken up before is skipped.
    void TakeUp(Prepared& p, std::size_t index) {
        // The file the replacement will be once swapped in is the same file too: a later name
        // opened after the swap finds that one.
        FileIdentity replacement;
        if (p.claimed && p.file->Replacement() != nullptr &&
            p.file->Replacement()->ReplacementIdentity(replacement))
            m_claims.TakenUp(Claims::KeyOf(replacement), index, true);
        if (p.claimed)
            m_claims.TakenUp(p.key, index);
        else if (p.refused)
            p.file->outcome.error = SameFileAs(m_paths[m_claims.First(p.key)]);
    }

private:
    std::unique_ptr<Prepared> Prepare(std::size_t index, bool inOrder) {
        if (m_settings.beforeFile)
            m_settings.beforeFile(index);
        auto p = std::make_unique<Prepared>(m_claims);
        RewriteJob own = m_job;
        own.path = m_paths[index];
        own.stop = m_settings.stop;
        Prepared* const at = p.get();
        const RewritableFile::Claim claim = [this, at, index, inOrder](const FileIdentity& id) {
            at->LetGo(); // a file moved while its lock was waited for: the new one counts
            at->key = Claims::KeyOf(id);
            at->claimed =
                inOrder ? m_claims.Claim(at->key, index) : m_claims.TryClaim(at->key, index);
            at->refused = !at->claimed;
            return at->claimed;
        };
        p->file = std::make_unique<FileInFlight>(std::move(own));
        // A worker never waits for another veldran's lock: see ReplaceFiles.
        p->file->Prepare(m_settings.faults, inOrder, claim);
        return p;
    }

    std::unique_ptr<Prepared> Failed(std::string error) {
        auto p = std::make_unique<Prepared>(m_claims);
        p->file = std::make_unique<FileInFlight>(RewriteJob{});
        p->file->outcome.error = std::move(error);
        return p;
    }

    const std::vector<std::string>& m_paths;
    const RewriteJob& m_job;
    const PipelineSettings& m_settings;
    Claims m_claims;
};

using Group = std::deque<std::pair<std::size_t, std::unique_ptr<Prepared>>>;

// Makes the new files of a group durable: one flush for all where the system has it.
void FlushGroup(Group& group, const PipelineSettings& settings) {
    std::vector<FileInFlight*> files;
    std::vector<RewritableFile*> replacements;
    for (auto& [index, prepared] : group)
        if (RewritableFile* replacement = prepared->file->Replacement()) {
            files.push_back(prepared->file.get());
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

std::string SameFileAs(const std::string& firstPath) {
    return "the same file as " + firstPath + "; skipped";
}

void ReplaceFiles(const std::vector<std::string>& paths, const RewriteJob& job, OptionBoxes& boxes,
                  const PipelineSettings& settings, const PublishReplace& publish) {
    ReplaceRun run(paths, job, settings);
    OrderedWork<Prepared> work(
        paths.size(), Jobs(settings, paths.size()), 1, kGroupBytes * 2, settings.stop,
        [&](std::size_t index) { return run.Attempt(index, false); },
        [](const Prepared& p) { return p.file->Bytes(); }, settings.threads);

    Group group;
    std::unique_ptr<Prepared> carried;
    std::size_t next = 0;
    while (next < paths.size() && !Stopped(settings)) {
        // A group: the next file, waited for, and those after it that are already done.
        std::size_t bytes = 0;
        for (bool first = true;
             next < paths.size() && group.size() < kGroupFiles && bytes < kGroupBytes;
             first = false) {
            std::unique_ptr<Prepared> file = carried ? std::move(carried) : work.Take(next, first);
            if (!file)
                break;
            if (run.MustWait(*file)) {
                // Another veldran (or a later name of this file) holds it. Waiting while holding
                // the locks of the files ahead could wait forever for a veldran that waits for
                // one of those: they are let go first, and done again afterwards.
                if (!first) {
                    carried = std::move(file); // it begins the next group
                    break;
                }
                file.reset(); // its claim goes before the committer claims the file itself
                work.DropAhead(next);
                if (settings.beforeWait)
                    settings.beforeWait(next);
                file = run.Attempt(next, true);
            }
            run.TakeUp(*file, next);
            bytes += file->file->Bytes();
            group.emplace_back(next++, std::move(file));
        }
        if (group.empty())
            break; // stopped before the next file was started
        FlushGroup(group, settings);
        // Swapped in and published one by one, in order; on a stop the rest of the group goes
        // (its new files removed, the originals as they were).
        for (; !group.empty() && !Stopped(settings); group.pop_front()) {
            auto& [index, prepared] = group.front();
            prepared->file->Complete(boxes, settings.faults);
            publish(index, prepared->file->outcome);
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
        settings.stop,
        [&](std::size_t index) {
            auto found = std::make_unique<Found>();
            found->result = FileContains(paths[index], find, found->error);
            return found;
        },
        [](const Found&) { return std::size_t{0}; }, settings.threads);
    for (std::size_t i = 0; i < paths.size() && !Stopped(settings); ++i) {
        const std::unique_ptr<Found> found = work.Take(i);
        if (!found)
            break;
        publish(i, found->result, found->error);
    }
}

} // namespace veldran

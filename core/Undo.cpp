// Undo of the newest Replace, on the same kind of pipeline as the Replace: workers read each
// file and its original and prepare the restored file; the calling thread makes a group of them
// durable at once, swaps them in and reports them in the order of the journal.
#include "Checksum.h"
#include "JournalRuns.h"
#include "OrderedWork.h"
#include "Platform.h"
#include "UndoJournal.h"

#include <algorithm>
#include <charconv>
#include <deque>
#include <map>
#include <thread>

namespace veldran {

namespace {

// As the Replace's groups: bounded, so that a stop leaves little to clean up and memory stays
// within a few files.
constexpr std::size_t kGroupFiles = 64;
constexpr std::size_t kGroupBytes = std::size_t{64} << 20;
constexpr const char* kChangedSince = "changed since the replace; not restored";

// The newest run, open and locked, and what its index says.
struct Run {
    journalfs::Folder user;
    journalfs::Folder folder;
    NativeHandle index = kNoHandle;
    bool stopped = false;       // the journal stopped early
    bool nothing = false;       // a run with nothing to undo
    std::size_t unreadable = 0; // whole lines that are no entry
    std::vector<JournalEntry> entries;
    Run() = default;
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;
    ~Run() { journalfs::Close(index); }
};

bool OpenNewestRun(const std::string& logDir, Run& run, std::string& error) {
    bool missing = false;
    std::string why;
    const std::string path = UndoJournal::FolderIn(logDir);
    if (!journalfs::OpenPrivate(path, false, run.user, missing, why)) {
        error = missing ? "nothing to undo" : "cannot read the undo journal: " + why;
        return false;
    }
    const std::vector<std::uint64_t> numbers = journal::RunNumbers(run.user);
    bool exists = false;
    if (numbers.empty()) {
        error = "nothing to undo";
        return false;
    }
    if (!journalfs::OpenChild(run.user, std::to_string(numbers.back()), false, run.folder, exists,
                              why) ||
        !journal::OpenIndex(run.folder, run.index, run.stopped, missing, why)) {
        error = missing ? "nothing to undo" : "cannot read the undo journal: " + why;
        return false;
    }
    bool busy = false;
    if (!journalfs::TryLock(run.index, busy, why)) {
        error = busy ? "the last replace is still running" : "cannot read the undo journal: " + why;
        return false;
    }
    std::string index;
    if (!journalfs::ReadAll(run.index, index, why)) {
        error = "cannot read the undo journal: " + why;
        return false;
    }
    // A last line without its end was torn by a kill: its file was never swapped in.
    std::vector<std::size_t> swapped; // entry numbers in the order of the swaps
    for (std::size_t at = 0, end = index.find('\n'); end != std::string::npos;
         at = end + 1, end = index.find('\n', at)) {
        std::string_view line = std::string_view(index).substr(at, end - at);
        JournalEntry entry;
        std::size_t number = 0;
        const char* last = line.data() + line.size();
        if (line == journal::kEmptyRun || line == journal::kUndoneRun)
            run.nothing = true;
        else if (ParseJournalLine(line, entry))
            run.entries.push_back(std::move(entry));
        else if (line.substr(0, journal::kSwappedMark.size()) == journal::kSwappedMark &&
                 std::from_chars(line.data() + journal::kSwappedMark.size(), last, number) ==
                     std::from_chars_result{last, {}})
            swapped.push_back(number);
        else
            ++run.unreadable;
    }
    // In the Replace's order; entries whose order was not written yet (a kill) last.
    std::map<std::size_t, std::size_t> rank;
    for (std::size_t i = 0; i < swapped.size(); ++i)
        rank.emplace(swapped[i], i);
    const auto rankOf = [&](const JournalEntry& e) {
        const auto found = rank.find(e.number);
        return found == rank.end() ? swapped.size() : found->second;
    };
    std::stable_sort(
        run.entries.begin(), run.entries.end(),
        [&](const JournalEntry& a, const JournalEntry& b) { return rankOf(a) < rankOf(b); });
    if (run.nothing || (run.entries.empty() && run.unreadable == 0 && !run.stopped)) {
        error = "nothing to undo";
        return false;
    }
    return true;
}

// One file on its way back.
struct Restore {
    RewritableFile file;
    std::string current;  // as read; kept until the swap, which may compare it
    std::string original; // the bytes to put back
    std::string error;
    bool skip = false;  // its file was never swapped in: nothing to report
    bool write = false; // a restored file waits for its flush and swap
    bool busy = false;  // another veldran holds the file
};

void Prepare(const Run& run, const JournalEntry& entry, const UndoSettings& settings, bool wait,
             Restore& r) {
    NativeHandle kept = kNoHandle;
    FileIdentity keptId;
    std::string why;
    bool missing = false;
    if (!journalfs::OpenKept(run.folder, std::to_string(entry.number), kept, keptId, missing,
                             why)) {
        r.skip = missing;
        r.error = "cannot read the kept original: " + why;
        journalfs::Close(kept);
        return;
    }
    const bool keptRead = journalfs::ReadAll(kept, r.original, why);
    journalfs::Close(kept);
    if (!keptRead) {
        r.error = "cannot read the kept original: " + why;
        return;
    }
    if (!r.file.Open(entry.absolute, r.error, settings.stop, wait ? nullptr : &r.busy) ||
        !r.file.Read(r.current, r.error))
        return;
    const FileIdentity& now = r.file.ReadIdentity();
    if (now.SameContent(entry.replaced) && ContentChecksum(r.current) == entry.checksum) {
        r.write = r.file.Prepare(r.original, r.error, settings.faults);
        return;
    }
    // The very file that was kept (the run was killed before its swap), or its bytes: nothing
    // to put back.
    if ((now.volume == keptId.volume && now.index == keptId.index) || r.current == r.original)
        return;
    r.error = kChangedSince;
}

unsigned Jobs(const UndoSettings& settings, std::size_t files) {
    const unsigned jobs = settings.jobs != 0 ? settings.jobs : std::thread::hardware_concurrency();
    return static_cast<unsigned>(
        std::min<std::size_t>(std::max(jobs, 1u), std::max<std::size_t>(files, 1)));
}

bool Stopped(const UndoSettings& settings) {
    return settings.stop != nullptr && settings.stop->load();
}

// Puts back what the index lists; false when any file stays as the Replace left it.
bool RestoreAll(const Run& run, const UndoReport& report, const UndoSettings& settings) {
    const std::vector<JournalEntry>& entries = run.entries;
    OrderedWork<Restore> work(
        entries.size(), Jobs(settings, entries.size()), 1, kGroupBytes * 2, settings.stop,
        [&](std::size_t i) {
            auto r = std::make_unique<Restore>();
            Prepare(run, entries[i], settings, false, *r);
            return r;
        },
        [](const Restore& r) { return r.current.capacity() + r.original.capacity(); });
    bool all = true;
    std::deque<std::pair<std::size_t, std::unique_ptr<Restore>>> group;
    std::unique_ptr<Restore> carried;
    std::size_t next = 0;
    while (next < entries.size() && !Stopped(settings)) {
        std::size_t bytes = 0;
        for (bool first = true;
             next < entries.size() && group.size() < kGroupFiles && bytes < kGroupBytes;
             first = false) {
            std::unique_ptr<Restore> r = carried ? std::move(carried) : work.Take(next, first);
            if (!r)
                break;
            if (r->busy) {
                // As in a Replace: the locks ahead are let go before waiting for another's.
                if (!first) {
                    carried = std::move(r);
                    break;
                }
                work.DropAhead(next);
                r = std::make_unique<Restore>();
                Prepare(run, entries[next], settings, true, *r);
            }
            bytes += r->current.size() + r->original.size();
            group.emplace_back(next++, std::move(r));
        }
        if (group.empty())
            break;
        std::vector<RewritableFile*> files;
        for (auto& [i, r] : group)
            if (r->write)
                files.push_back(&r->file);
        std::string flushError;
        const bool flushed =
            files.empty() || RewritableFile::FlushTogether(files, flushError, settings.faults);
        for (; !group.empty() && !Stopped(settings); group.pop_front()) {
            auto& [i, r] = group.front();
            if (r->write && !flushed)
                r->error = flushError;
            else if (r->write)
                r->file.SwapIn(r->error, settings.faults);
            r->file.Close();
            if (r->skip)
                continue; // its file went back during the Replace
            all = all && r->error.empty();
            report(entries[i].path, r->error);
        }
        group.clear();
    }
    return all && next == entries.size();
}

} // namespace

bool UndoLastReplace(const std::string& logDir, const UndoReport& report, std::string& error,
                     const UndoSettings& settings) {
    Run run;
    if (!OpenNewestRun(logDir, run, error))
        return false;
    error.clear();
    for (std::size_t i = 0; i < run.unreadable; ++i)
        report(run.folder.Path() + kDirSeparator + journal::kIndex,
               "an entry of the undo journal cannot be read; its file is not restored");
    bool all = RestoreAll(run, report, settings) && run.unreadable == 0;
    if (run.stopped) {
        error = "the undo journal of that replace stopped early: the files it changed after that "
                "stay changed";
        all = false;
    }
    // A run put back whole is marked so, and its originals go; one that is not can be undone
    // again for the files that are left.
    std::string why;
    if (all && journalfs::Append(run.index, std::string(journal::kUndoneRun) + "\n", why) &&
        journalfs::Sync(run.index, run.folder, why))
        for (const JournalEntry& entry : run.entries)
            journalfs::Remove(run.folder, std::to_string(entry.number));
    return true;
}

} // namespace veldran

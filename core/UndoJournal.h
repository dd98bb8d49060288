#pragma once
// The undo journal: for each file a Replace rewrote, the original (a second name for the very
// file that was swapped out, or a private copy on another file system) and what the new file was
// as the Replace left it (its identity and a checksum of its bytes), so that undo can tell
// whether the file was changed since.
//
// Each user has a journal folder of their own in the log directory, open to no one else; each
// Replace a run folder in it, numbered, whose index it holds locked while it runs. Undo takes
// the newest run.

#include "SafeFile.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace veldran {

struct JournalEntry {
    std::size_t number = 0;     // the name of its original in the run folder
    std::string path;           // as the Replace was given it
    std::string absolute;       // the same from the Replace's working directory
    FileIdentity replaced;      // the new file as the Replace left it
    std::uint64_t checksum = 0; // of the new file's bytes
};

// One line of the index for `entry`, and back; false for a line that is not one.
std::string JournalLine(const JournalEntry& entry);
bool ParseJournalLine(std::string_view line, JournalEntry& entry);

class UndoJournal {
public:
    UndoJournal();
    ~UndoJournal();
    UndoJournal(const UndoJournal&) = delete;
    UndoJournal& operator=(const UndoJournal&) = delete;

    // The user's journal folder in the log directory (which ends in its separator, or is empty).
    static std::string FolderIn(const std::string& logDir);

    // Starts the journal of a new Replace, in a run folder of its own. Runs beyond the newest
    // few that no one holds are removed.
    bool Start(const std::string& logDir, std::string& error);
    // A Replace that keeps no journal: the newest run is one with nothing to undo, so that undo
    // does not reach past this Replace to an older one. Failing is of no consequence: undo
    // restores no file that changed since.
    static void StartEmpty(const std::string& logDir);

    // Keeps the original of a file whose replacement is prepared (`newText` its bytes) and
    // queues its entry. Any thread. Returns the entry's number; 0 when the journal keeps nothing
    // (any more, or failed now: `error` says why, once, and the journal stops).
    std::size_t Keep(RewritableFile& file, const std::string& path, std::string_view newText,
                     std::string& error);
    // Before the file of `entry` is swapped in: its entry and original are durable. Writes every
    // queued entry at once. On failure the journal stops and the entry counts for nothing.
    bool MakeDurable(std::size_t entry, std::string& error);
    // After the file of `entry` was swapped in: undo reports the files in this order.
    void Swapped(std::size_t entry);
    // Drops the entry of a file that was not swapped in after all.
    void Discard(std::size_t entry);
    // Whether originals are still kept; a journal that failed once keeps no more.
    bool Working() const { return m_index != kNoIndex && !m_stopped; }

    // For tests: every original is kept as a copy, as on another file system.
    void KeepCopies() { m_copies = true; }

private:
    void StopLocked(const std::string& reason);
    bool WriteQueued(std::string& error);

    static constexpr std::intptr_t kNoIndex = -1;
    struct Folders;
    std::unique_ptr<Folders> m_folders;
    std::intptr_t m_index = kNoIndex;
    std::string m_cwd;
    std::mutex m_mutex;
    std::atomic<bool> m_stopped{false};
    bool m_copies = false;
    std::size_t m_count = 0;
    std::string m_stopReason;
    std::string m_queued;                     // index lines not yet written
    std::vector<std::size_t> m_queuedNumbers; // their entries
    std::vector<std::uint8_t> m_state;        // per entry: see UndoJournal.cpp
    std::uint64_t m_written = 0;              // bytes of the index written and whole
};

struct UndoSettings {
    unsigned jobs = 0; // threads that read and prepare; 0: one per core
    const std::atomic<bool>* stop = nullptr;
    WriteFaults* faults = nullptr; // a seam for tests
};

// Restores every file of the newest Replace with the rewrite protocol, on a pool of threads,
// in the order of the journal. A file that is not exactly as the Replace left it (changed since)
// is left as it is; one that holds its original already counts as restored. `report` gets each
// path with the empty text (restored) or the reason it was not. Returns false with the reason
// when there is nothing to undo; true with a non-empty `error` when the journal of that Replace
// stopped early, so that files it changed later stay changed.
using UndoReport = std::function<void(const std::string& path, const std::string& error)>;
bool UndoLastReplace(const std::string& logDir, const UndoReport& report, std::string& error,
                     const UndoSettings& settings = {});

} // namespace veldran

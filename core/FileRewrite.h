#pragma once
// The rewrite of one scheme file in place, with its change-log and batch data records.

#include "Pieces.h"
#include "SafeFile.h"
#include "UndoJournal.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace veldran {

// The live state of the two option boxes, asked at the moment it matters and never cached:
// the log box once for every changed piece, the batch data box once after the file is written.
class OptionBoxes {
public:
    virtual ~OptionBoxes() = default;
    virtual bool CreateLogTicked() = 0;
    virtual bool CreateBatchDataTicked() = 0;
};

// The boxes' state taken once: as the command line gives it, or as the window's boxes stand when
// a command starts (the window handles no message while a command runs).
class FixedOptionBoxes final : public OptionBoxes {
public:
    FixedOptionBoxes(bool createLog, bool createBatchData)
        : m_createLog(createLog), m_createBatchData(createBatchData) {}
    bool CreateLogTicked() override { return m_createLog; }
    bool CreateBatchDataTicked() override { return m_createBatchData; }

private:
    bool m_createLog;
    bool m_createBatchData;
};

struct RewriteJob {
    std::string path; // the scheme file; also the text of its log and batch data records
    std::string find;
    std::string replace;
    std::string logPath;
    std::string batchPath;
    // Set from outside (a signal) to drop the file while it waits for another veldran's lock.
    const std::atomic<bool>* stop = nullptr;
    // Where the original of each rewritten file is kept for undo; none when null.
    UndoJournal* journal = nullptr;
};

struct RewriteOutcome {
    bool ok = false;      // read, rewritten (or already right) and safe on disk
    bool changed = false; // at least one replacement was made and the file is safe on disk
    bool written = false; // the file's bytes were replaced (false when they came out the same);
                          // without `changed`, only by the wrap rule or the line ends
    std::uint64_t replacements = 0;
    std::uint64_t logRecords = 0;
    bool batchRecord = false; // the path was appended to the batch data file
    std::string error;        // why the file was left untouched
    std::string logError;     // why the change log could not take this file's records
    std::string batchError;   // why the batch data file could not take the record
    std::string journalError; // why the undo journal could not keep this file
};

// Whether a rewritten file is written with CR LF line ends: always on Windows (text mode);
// elsewhere when the file held any CR LF.
bool WritesCrLf(bool fileHadCrLf);

// The new text of a file whose bytes are `original`, exactly as ProcessFile writes it (line ends
// included). `normalised` receives the text with each CR of a CR LF dropped when there is one;
// `text` is set to the text the pieces were cut from (`original` or `normalised`).
PieceRewriteStats RewriteText(std::string_view original, std::string_view find,
                              std::string_view replace, std::string& normalised,
                              std::string_view& text, std::string& newText);

// One file on its way through a Replace, in three steps that may run on different threads:
// Prepare reads and rewrites it and writes its replacement beside it; Flush (or a flush of a
// whole group, see RewritableFile::FlushTogether) makes the replacement durable; Complete swaps
// it in and appends the records. A refused file keeps only `outcome.error`.
class FileInFlight {
public:
    explicit FileInFlight(RewriteJob job);
    ~FileInFlight(); // a replacement that was not swapped in is removed
    FileInFlight(const FileInFlight&) = delete;
    FileInFlight& operator=(const FileInFlight&) = delete;

    // Without `waitForLock`, a file that another veldran holds is left alone: Busy() tells.
    // `claim` is asked before the lock is taken, as RewritableFile::Open says.
    bool Prepare(WriteFaults* faults, bool waitForLock = true,
                 const RewritableFile::Claim& claim = {});
    bool Busy() const { return m_busy; }
    bool Flush(WriteFaults* faults);
    void Complete(OptionBoxes& boxes, WriteFaults* faults);

    // The replacement waiting for its flush, or nullptr when there is none.
    RewritableFile* Replacement() { return m_replacing ? &m_file : nullptr; }
    // A group flush that failed: the file is refused with `error`.
    void FailFlush(const std::string& error);
    // The memory the file holds until it is complete.
    std::size_t Bytes() const;

    RewriteOutcome outcome;

private:
    void Refuse(std::string error);
    bool SwapIn(WriteFaults* faults);

    struct Buffers;
    RewriteJob m_job;
    RewritableFile m_file;
    std::unique_ptr<Buffers> m_buffers;
    std::string_view m_text; // the text the pieces were cut from, for the log records
    bool m_replacing = false;
    bool m_busy = false;
    std::size_t m_journalEntry = 0; // the journal's entry for this file, until it is swapped in
};

// What a Replace would make of one file, nothing written: its bytes now and after, the
// replacements, and the unified diff (empty when the bytes stay). False with the reason when the
// file cannot be read, or does not fit in memory.
struct ReplacePreviewOfFile {
    std::string original;
    std::string newText;
    std::string diff;
    std::uint64_t replacements = 0;
};
bool PreviewReplace(const std::string& path, std::string_view find, std::string_view replace,
                    ReplacePreviewOfFile& out, std::string& error);

// Reads the whole file, rewrites it piece by piece, writes it back atomically when its bytes
// change, then appends its log records and, for a changed file, its batch data record. A file
// that cannot be read or written (also one too large for memory) is left as it was, and nothing
// is recorded for it. The log records are made and written in blocks after the file is safe, so
// memory does not grow with their number.
RewriteOutcome ProcessFile(const RewriteJob& job, OptionBoxes& boxes,
                           WriteFaults* faults = nullptr);

} // namespace veldran

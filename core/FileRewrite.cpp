#include "FileRewrite.h"

#include "Pieces.h"
#include "Platform.h"
#include "Records.h"
#include "TextSearch.h"
#include "UnifiedDiff.h"

#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace veldran {

namespace {

// The text buffers of one file, kept for the next file: first touching fresh memory costs more
// than rewriting the text in it, and the allocator would hand back fresh memory for every file.
// A file's read text is needed until its records are made, on the committing thread, so it goes
// back to a pool shared by the threads. The new text is done with once it is written, on the
// thread that made it: it goes back to that thread's spare at once, and the thread's next file
// writes its new text into the same memory. Buffers of large files are let go, so little stays
// held.
class TextBuffers {
public:
    TextBuffers() {
        const std::lock_guard<std::mutex> lock(PoolLock());
        if (!Pool().empty()) {
            Store& kept = Pool().back();
            original.swap(kept.original);
            normalised.swap(kept.normalised);
            Pool().pop_back();
        }
    }
    TextBuffers(const TextBuffers&) = delete;
    TextBuffers& operator=(const TextBuffers&) = delete;
    ~TextBuffers() {
        Release(newText);
        Store kept;
        Keep(kept.original, original);
        Keep(kept.normalised, normalised);
        if (kept.original.capacity() == 0 && kept.normalised.capacity() == 0)
            return;
        const std::lock_guard<std::mutex> lock(PoolLock());
        if (Pool().size() < kPoolSize)
            Pool().push_back(std::move(kept));
    }
    // Room for `size` bytes: the thread's spare if it is large enough, else a buffer allocated
    // afresh with some headroom, so that the next, slightly larger file still fits (growing in
    // place would double it).
    static void Reserve(std::string& buffer, std::size_t size) {
        if (buffer.capacity() >= size)
            return;
        std::string& spare = Spare();
        std::string().swap(buffer);
        if (spare.capacity() >= size)
            buffer.swap(spare);
        else
            ReserveText(buffer, size + size / 8);
    }
    // Done with `buffer`, which is left empty: its memory becomes the thread's spare if it is
    // larger than the spare and not too large to keep.
    static void Release(std::string& buffer) {
        buffer.clear();
        std::string& spare = Spare();
        if (buffer.capacity() <= kKeptLimit && buffer.capacity() > spare.capacity())
            buffer.swap(spare);
        std::string().swap(buffer);
    }

    std::string original;
    std::string normalised;
    std::string newText;

private:
    static constexpr std::size_t kKeptLimit = std::size_t{16} << 20;
    static constexpr std::size_t kPoolSize = 16;
    struct Store {
        std::string original;
        std::string normalised;
    };
    static std::vector<Store>& Pool() {
        static std::vector<Store> pool;
        return pool;
    }
    static std::mutex& PoolLock() {
        static std::mutex lock;
        return lock;
    }
    static std::string& Spare() {
        thread_local std::string spare;
        return spare;
    }
    static void Keep(std::string& into, std::string& buffer) {
        buffer.clear();
        if (buffer.capacity() <= kKeptLimit)
            into.swap(buffer);
        else
            std::string().swap(buffer);
    }
};

} // namespace

bool WritesCrLf(bool fileHadCrLf) {
    return kIsWindows || fileHadCrLf;
}

namespace {

// Appends a file's log records; the change log is opened at the first record the log box asks
// for and stays open (and locked) until the last one. The appender writes them in blocks.
class LogWriter {
public:
    LogWriter(const RewriteJob& job, RewriteOutcome& outcome, WriteFaults* faults)
        : m_job(job), m_outcome(outcome), m_lockWaits(faults) {}
    void Record(std::string_view piece) {
        if (m_failed)
            return;
        if (!m_open &&
            !(m_open = m_out.Open(m_job.logPath, m_outcome.logError, &m_lockWaits, m_job.stop))) {
            Fail();
            return;
        }
        std::string record;
        AppendLogRecord(record, m_clock.Now(), m_job.path, piece);
        ++m_outcome.logRecords;
        if (!m_out.Append(ToNativeLineEnds(std::move(record)), m_outcome.logError))
            Fail();
    }
    void Finish() {
        if (m_open && !m_failed && !m_out.Commit(m_outcome.logError))
            Fail();
    }

private:
    void Fail() {
        m_failed = true;
        m_out.Rollback();
        m_outcome.logRecords = 0;
    }

    const RewriteJob& m_job;
    RewriteOutcome& m_outcome;
    Appender m_out;
    LockWaitsOf m_lockWaits;
    TimeStamper m_clock;
    bool m_open = false;
    bool m_failed = false;
};

} // namespace

PieceRewriteStats RewriteText(std::string_view original, std::string_view find,
                              std::string_view replace, std::string& normalised,
                              std::string_view& text, std::string& newText) {
    // Text without CR LF is its own normalised form; only a file with CRs needs a copy.
    bool hadCrLf = false;
    text = original;
    std::string_view asRead;
    if (original.find('\r') != std::string_view::npos) {
        TextBuffers::Reserve(normalised, original.size());
        normalised.assign(original);
        hadCrLf = DropCrBeforeLf(normalised);
        text = normalised;
        // As many CRs dropped as there are LFs: every line ends in CR LF, so the lines that stay
        // as they are can be copied from the bytes as read.
        if (hadCrLf && original.size() - normalised.size() == CountByte(normalised, '\n'))
            asRead = original;
    }
    newText.clear();
    return RewritePieces(text, find, replace, WritesCrLf(hadCrLf), newText, nullptr, asRead);
}

struct FileInFlight::Buffers : TextBuffers {};

FileInFlight::FileInFlight(RewriteJob job)
    : m_job(std::move(job)), m_buffers(std::make_unique<Buffers>()) {}

FileInFlight::~FileInFlight() {
    // A file that was not swapped in after all keeps nothing in the journal.
    if (m_journalEntry != 0)
        m_job.journal->Discard(m_journalEntry);
}

void FileInFlight::Refuse(std::string error) {
    outcome = RewriteOutcome{};
    outcome.error = std::move(error);
    m_replacing = false;
}

bool FileInFlight::Prepare(WriteFaults* faults, bool waitForLock,
                           const RewritableFile::Claim& claim) {
    try {
        std::string& original = m_buffers->original;
        if (!m_file.Open(m_job.path, outcome.error, m_job.stop, waitForLock ? nullptr : &m_busy,
                         faults, claim) ||
            !m_file.Read(original, outcome.error)) {
            Refuse(std::move(outcome.error));
            return false;
        }
        std::string& newText = m_buffers->newText;
        TextBuffers::Reserve(newText, original.size() + original.size() / 8 + 64);
        const PieceRewriteStats stats = RewriteText(original, m_job.find, m_job.replace,
                                                    m_buffers->normalised, m_text, newText);
        outcome.replacements = stats.replacements;
        outcome.changed = stats.changedPieces > 0;
        // The same bytes are not written: the file would change its identity for nothing.
        m_replacing = newText != original;
        if (m_replacing && !m_file.Prepare(newText, outcome.error, faults)) {
            Refuse(std::move(outcome.error));
            return false;
        }
        // The original is kept here, on the worker, so that the journal costs the committer
        // no more than writing the group's entries at once before the first swap.
        if (m_replacing && m_job.journal != nullptr)
            m_journalEntry = m_job.journal->Keep(m_file, m_job.path, newText, outcome.journalError);
        TextBuffers::Release(newText);
        return true;
    } catch (const std::bad_alloc&) {
        // Nothing was written: the replacement is made only from a complete new text.
        Refuse("cannot read: out of memory");
        return false;
    }
}

std::size_t FileInFlight::Bytes() const {
    return m_buffers->original.capacity() + m_buffers->normalised.capacity();
}

bool FileInFlight::Flush(WriteFaults* faults) {
    if (m_replacing && !m_file.Flush(outcome.error, faults)) {
        Refuse(std::move(outcome.error));
        return false;
    }
    return true;
}

void FileInFlight::FailFlush(const std::string& error) {
    if (m_replacing)
        Refuse(error);
}

bool FileInFlight::SwapIn(WriteFaults* faults) {
    // The entry is durable before the swap. A journal that fails stops keeping originals; the
    // rewrite goes on, said once.
    if (m_journalEntry != 0 && !m_job.journal->MakeDurable(m_journalEntry, outcome.journalError))
        m_job.journal->Discard(std::exchange(m_journalEntry, 0));
    if (!m_file.SwapIn(outcome.error, faults))
        return false; // the destructor drops the entry
    if (m_journalEntry != 0)
        m_job.journal->Swapped(std::exchange(m_journalEntry, 0));
    return true;
}

void FileInFlight::Complete(OptionBoxes& boxes, WriteFaults* faults) {
    if (!outcome.error.empty())
        return;
    if (m_replacing && !SwapIn(faults)) {
        Refuse(std::move(outcome.error));
        return;
    }
    outcome.written = m_replacing;
    outcome.ok = true;
    m_file.Close(); // the lock goes: the records need not wait for them

    if (outcome.changed) {
        try {
            LogWriter log(m_job, outcome, faults);
            ForEachChangedPiece(m_text, m_job.find, m_job.replace, [&](std::string_view piece) {
                if (boxes.CreateLogTicked())
                    log.Record(piece);
            });
            log.Finish();
        } catch (const std::bad_alloc&) {
            outcome.logRecords = 0;
            outcome.logError = "cannot write: out of memory";
        }
    }
    if (boxes.CreateBatchDataTicked() && outcome.changed) {
        LockWaitsOf lockWaits(faults);
        outcome.batchRecord =
            AppendToFile(m_job.batchPath, ToNativeLineEnds(BatchRecord(m_job.path)),
                         outcome.batchError, &lockWaits, m_job.stop);
    }
}

bool PreviewReplace(const std::string& path, std::string_view find, std::string_view replace,
                    ReplacePreviewOfFile& out, std::string& error) {
    try {
        if (!ReadWholeFile(path, out.original, error))
            return false;
        std::string normalised;
        std::string_view text;
        out.replacements =
            RewriteText(out.original, find, replace, normalised, text, out.newText).replacements;
        out.diff = UnifiedDiff(path, out.original, out.newText);
        return true;
    } catch (const std::bad_alloc&) {
        error = "cannot read: out of memory";
        return false;
    }
}

RewriteOutcome ProcessFile(const RewriteJob& job, OptionBoxes& boxes, WriteFaults* faults) {
    FileInFlight file(job);
    if (file.Prepare(faults) && file.Flush(faults))
        file.Complete(boxes, faults);
    return std::move(file.outcome);
}

} // namespace veldran

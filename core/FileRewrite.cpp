#include "FileRewrite.h"

#include "Pieces.h"
#include "Platform.h"
#include "Records.h"

#include <new>

namespace veldran {

namespace {

// The text buffers of one file, kept on the thread for the next file: first touching fresh
// memory costs more than rewriting the text in it, and the allocator would hand back fresh
// memory for every file. Buffers of large files are let go, so little stays held.
class TextBuffers {
public:
    TextBuffers()
        : original(std::move(Kept().original)), normalised(std::move(Kept().normalised)),
          newText(std::move(Kept().newText)) {}
    TextBuffers(const TextBuffers&) = delete;
    TextBuffers& operator=(const TextBuffers&) = delete;
    ~TextBuffers() {
        Store& kept = Kept();
        Keep(kept.original, original);
        Keep(kept.normalised, normalised);
        Keep(kept.newText, newText);
    }
    // Room for `size` bytes. A buffer that must grow is allocated afresh with some headroom, so
    // that the next, slightly larger file still fits (growing in place would double it).
    static void Reserve(std::string& buffer, std::size_t size) {
        if (buffer.capacity() >= size)
            return;
        std::string().swap(buffer);
        buffer.reserve(size + size / 8);
    }
    // Lets go of a buffer that is too large to keep, as soon as it is no longer needed.
    static void Release(std::string& buffer) {
        buffer.clear();
        if (buffer.capacity() > kKeptLimit)
            buffer.shrink_to_fit();
    }

    std::string original;
    std::string normalised;
    std::string newText;

private:
    static constexpr std::size_t kKeptLimit = std::size_t{16} << 20;
    struct Store {
        std::string original;
        std::string normalised;
        std::string newText;
    };
    static Store& Kept() {
        thread_local Store store;
        return store;
    }
    static void Keep(std::string& into, std::string& buffer) {
        Release(buffer);
        if (buffer.capacity() <= kKeptLimit)
            into.swap(buffer);
    }
};

} // namespace

bool WritesCrLf(bool fileHadCrLf) {
    return kIsWindows || fileHadCrLf;
}

namespace {

// Appends a file's log records block by block; the change log is opened at the first record the
// log box asks for and stays open (and locked) until the last one.
class LogWriter {
public:
    LogWriter(const RewriteJob& job, RewriteOutcome& outcome) : m_job(job), m_outcome(outcome) {}
    void Record(std::string_view piece) {
        if (m_failed)
            return;
        AppendLogRecord(m_block, m_clock.Now(), m_job.path, piece);
        ++m_outcome.logRecords;
        if (m_block.size() >= kBlock)
            Flush();
    }
    void Finish() {
        Flush();
        if (m_open && !m_failed && !m_out.Commit(m_outcome.logError))
            Fail();
    }

private:
    static constexpr std::size_t kBlock = std::size_t{64} * 1024;
    void Flush() {
        if (m_block.empty() || m_failed)
            return;
        if (!m_open && !(m_open = m_out.Open(m_job.logPath, m_outcome.logError))) {
            Fail();
            return;
        }
        if (!m_out.Append(ToNativeLineEnds(std::move(m_block)), m_outcome.logError))
            Fail();
        m_block = std::string();
    }
    void Fail() {
        m_failed = true;
        m_out.Rollback();
        m_outcome.logRecords = 0;
    }

    const RewriteJob& m_job;
    RewriteOutcome& m_outcome;
    Appender m_out;
    TimeStamper m_clock;
    std::string m_block;
    bool m_open = false;
    bool m_failed = false;
};

// Reads and rewrites the file; on success `text` stays the normalised text that was read.
bool RewriteFile(const RewriteJob& job, TextBuffers& buffers, std::string_view& text,
                 RewriteOutcome& outcome, WriteFaults* faults) {
    RewritableFile file;
    std::string& original = buffers.original;
    if (!file.Open(job.path, outcome.error, job.stop) || !file.Read(original, outcome.error))
        return false;

    std::string& newText = buffers.newText;
    TextBuffers::Reserve(newText, original.size() + original.size() / 8 + 64);
    const PieceRewriteStats stats =
        RewriteText(original, job.find, job.replace, buffers.normalised, text, newText);
    if (newText != original) {
        if (!file.Replace(newText, outcome.error, faults))
            return false;
        outcome.written = true;
    }
    TextBuffers::Release(newText);
    outcome.replacements = stats.replacements;
    outcome.changed = stats.changedPieces > 0;
    return true;
}

} // namespace

PieceRewriteStats RewriteText(std::string_view original, std::string_view find,
                              std::string_view replace, std::string& normalised,
                              std::string_view& text, std::string& newText) {
    // Text without CR LF is its own normalised form; only a file with CRs needs a copy.
    bool hadCrLf = false;
    text = original;
    if (original.find('\r') != std::string_view::npos) {
        TextBuffers::Reserve(normalised, original.size());
        normalised.assign(original);
        hadCrLf = DropCrBeforeLf(normalised);
        text = normalised;
    }
    newText.clear();
    return RewritePieces(text, find, replace, WritesCrLf(hadCrLf), newText, nullptr);
}

RewriteOutcome ProcessFile(const RewriteJob& job, OptionBoxes& boxes, WriteFaults* faults) {
    RewriteOutcome outcome;
    TextBuffers buffers;
    std::string_view text;
    try {
        if (!RewriteFile(job, buffers, text, outcome, faults)) {
            RewriteOutcome refused;
            refused.error = std::move(outcome.error);
            return refused;
        }
    } catch (const std::bad_alloc&) {
        // Nothing was written: the replacement is made only from a complete new text.
        outcome = RewriteOutcome{};
        outcome.error = "cannot read: out of memory";
        return outcome;
    }
    outcome.ok = true;

    if (outcome.changed) {
        try {
            LogWriter log(job, outcome);
            ForEachChangedPiece(text, job.find, job.replace, [&](std::string_view piece) {
                if (boxes.CreateLogTicked())
                    log.Record(piece);
            });
            log.Finish();
        } catch (const std::bad_alloc&) {
            outcome.logRecords = 0;
            outcome.logError = "cannot write: out of memory";
        }
    }
    if (boxes.CreateBatchDataTicked() && outcome.changed)
        outcome.batchRecord = AppendToFile(job.batchPath, ToNativeLineEnds(BatchRecord(job.path)),
                                           outcome.batchError);
    return outcome;
}

} // namespace veldran

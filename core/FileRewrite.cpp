#include "FileRewrite.h"

#include "Pieces.h"
#include "Platform.h"
#include "Records.h"

#include <filesystem>
#include <optional>

namespace veldran {

namespace {

// Size and modification time: enough to see that another program changed a file under us.
struct FileStamp {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;
    bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> StampOf(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path native = NativePath(path);
    FileStamp stamp;
    stamp.size = std::filesystem::file_size(native, ec);
    if (ec)
        return std::nullopt;
    stamp.modified = std::filesystem::last_write_time(native, ec);
    if (ec)
        return std::nullopt;
    return stamp;
}

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

RewriteOutcome ProcessFile(const RewriteJob& job, OptionBoxes& boxes, WriteFaults* faults) {
    RewriteOutcome outcome;
    // A pipe or a device has no end to wait for and nothing to write back to.
    std::error_code ec;
    const auto type = std::filesystem::status(NativePath(job.path), ec).type();
    if (!ec && type != std::filesystem::file_type::regular &&
        type != std::filesystem::file_type::directory) {
        outcome.error = "cannot read: not a regular file";
        return outcome;
    }
    TextBuffers buffers;
    std::string& original = buffers.original;
    const std::optional<FileStamp> before = StampOf(job.path);
    if (before)
        TextBuffers::Reserve(original, static_cast<std::size_t>(before->size) + 1);
    if (!ReadWholeFile(job.path, original, outcome.error))
        return outcome;
    // Writing back what was read from a file that another program is changing would lose what
    // that program wrote.
    const std::optional<FileStamp> read = StampOf(job.path);
    if (before != read) {
        outcome.error = "cannot read: the file changed while it was read";
        return outcome;
    }

    // Text without CR LF is its own normalised form; only a file with CRs needs a copy.
    std::string& normalised = buffers.normalised;
    bool hadCrLf = false;
    std::string_view text = original;
    if (original.find('\r') != std::string::npos) {
        TextBuffers::Reserve(normalised, original.size());
        normalised.assign(original);
        hadCrLf = DropCrBeforeLf(normalised);
        text = normalised;
    }

    std::string& newText = buffers.newText;
    TextBuffers::Reserve(newText, original.size() + original.size() / 8 + 64);
    std::string logText;
    TimeStamper clock;
    const PieceRewriteStats stats = RewritePieces(
        text, job.find, job.replace, WritesCrLf(hadCrLf), newText, [&](std::string_view piece) {
            if (boxes.CreateLogTicked()) {
                AppendLogRecord(logText, clock.Now(), job.path, piece);
                ++outcome.logRecords;
            }
        });
    TextBuffers::Release(normalised);

    if (newText != original) {
        if (StampOf(job.path) != read) {
            outcome.error = "cannot write: the file changed while it was rewritten";
            outcome.logRecords = 0;
            return outcome;
        }
        if (!ReplaceFileContent(job.path, newText, outcome.error, faults)) {
            outcome.logRecords = 0;
            return outcome;
        }
        outcome.written = true;
    }
    outcome.ok = true;
    outcome.replacements = stats.replacements;
    outcome.changed = stats.changedPieces > 0;

    if (!logText.empty() &&
        !AppendToFile(job.logPath, ToNativeLineEnds(std::move(logText)), outcome.logError))
        outcome.logRecords = 0;
    if (boxes.CreateBatchDataTicked() && outcome.changed)
        outcome.batchRecord = AppendToFile(job.batchPath, ToNativeLineEnds(BatchRecord(job.path)),
                                           outcome.batchError);
    return outcome;
}

} // namespace veldran

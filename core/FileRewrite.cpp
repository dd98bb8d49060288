#include "FileRewrite.h"

#include "Pieces.h"
#include "Platform.h"
#include "Records.h"

namespace veldran {

bool WritesCrLf(bool fileHadCrLf) {
    return kIsWindows || fileHadCrLf;
}

RewriteOutcome ProcessFile(const RewriteJob& job, OptionBoxes& boxes, WriteFaults* faults) {
    RewriteOutcome outcome;
    std::string original;
    if (!ReadWholeFile(job.path, original, outcome.error))
        return outcome;

    // Text without CR LF is its own normalised form; only a file with CRs needs a copy.
    std::string normalised;
    bool hadCrLf = false;
    std::string_view text = original;
    if (original.find('\r') != std::string::npos) {
        normalised = original;
        hadCrLf = DropCrBeforeLf(normalised);
        text = normalised;
    }

    std::string newText;
    newText.reserve(original.size() + original.size() / 8 + 64);
    std::string logText;
    TimeStamper clock;
    const PieceRewriteStats stats = RewritePieces(
        text, job.find, job.replace, WritesCrLf(hadCrLf), newText, [&](std::string_view piece) {
            if (boxes.CreateLogTicked()) {
                AppendLogRecord(logText, clock.Now(), job.path, piece);
                ++outcome.logRecords;
            }
        });
    normalised.clear();
    normalised.shrink_to_fit();

    if (newText != original) {
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

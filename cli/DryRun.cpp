// replace --dry-run: each file's new text, made by the same core call as the replace makes it,
// shown as a unified diff. Nothing is written, deleted, journalled or recorded.
#include "Commands.h"
#include "FileRewrite.h"
#include "SafeFile.h"
#include "Signals.h"
#include "UnifiedDiff.h"

#include <cstdint>
#include <new>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace veldran::cli {

int RunDryRun(const Options& options, Reporter& report) {
#ifdef _WIN32
    // The diff carries each file's own bytes: text mode would put a CR before every LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::string original;
    std::string normalised;
    std::string newText;
    std::string error;
    std::uint64_t changing = 0;
    std::uint64_t replacements = 0;
    std::uint64_t failed = 0;
    const std::size_t total = options.files.size();
    for (std::size_t i = 0; i < total && !StopRequested(); ++i) {
        const std::string& path = options.files[i];
        try {
            if (ReadWholeFile(path, original, error)) {
                std::string_view text;
                replacements += RewriteText(original, *options.find, *options.replace, normalised,
                                            text, newText)
                                    .replacements;
                const std::string diff = UnifiedDiff(path, original, newText);
                if (!diff.empty()) {
                    report.Result(std::string_view(diff).substr(0, diff.size() - 1));
                    ++changing;
                }
            } else {
                report.Failure(path, error);
                ++failed;
            }
        } catch (const std::bad_alloc&) {
            report.Failure(path, "cannot read: out of memory");
            ++failed;
        }
        report.Progress(i + 1, total);
    }
    const bool resultsOut = report.FinishResults();
    report.Note(std::to_string(total) + (total == 1 ? " file, " : " files, ") +
                std::to_string(changing) + " would change, " + std::to_string(replacements) +
                (replacements == 1 ? " replacement, " : " replacements, ") +
                std::to_string(failed) + " failed");
    if (StopSignal() != 0) {
        report.Note("interrupted by signal " + std::to_string(StopSignal()));
        return kExitInterrupted + StopSignal();
    }
    return failed == 0 && resultsOut ? kExitOk : kExitFailure;
}

} // namespace veldran::cli

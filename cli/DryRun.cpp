// replace --dry-run: each file's new text, made by the same core call as the replace makes it,
// shown as a unified diff. Nothing is written, deleted, journalled or recorded.
#include "Commands.h"
#include "FileRewrite.h"
#include "Signals.h"

#include <cstdint>
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
    ReplacePreviewOfFile file;
    std::string error;
    std::uint64_t changing = 0;
    std::uint64_t replacements = 0;
    std::uint64_t failed = 0;
    const std::size_t total = options.files.size();
    for (std::size_t i = 0; i < total && !StopRequested(); ++i) {
        const std::string& path = options.files[i];
        if (!PreviewReplace(path, *options.find, *options.replace, file, error)) {
            report.Failure(path, error);
            ++failed;
        } else {
            replacements += file.replacements;
            if (!file.diff.empty()) {
                report.Result(std::string_view(file.diff).substr(0, file.diff.size() - 1));
                ++changing;
            }
        }
        report.Progress(i + 1, total);
    }
    const bool resultsOut = report.FinishResults();
    report.Note(Count(total, "file") + ", " + std::to_string(changing) + " would change, " +
                Count(replacements, "replacement") + ", " + std::to_string(failed) + " failed");
    if (StopSignal() != 0)
        return Interrupted(report);
    return failed == 0 && resultsOut ? kExitOk : kExitFailure;
}

} // namespace veldran::cli

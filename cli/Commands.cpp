#include "Commands.h"

#include "EnvironmentTable.h"
#include "FileRewrite.h"
#include "FindOnly.h"
#include "OutputPaths.h"
#include "Pipeline.h"
#include "Platform.h"
#include "Records.h"
#include "SafeFile.h"
#include "Signals.h"
#include "TestEvents.h"
#include "UndoJournal.h"

#include <cstdint>
#include <string>

namespace veldran::cli {

namespace {

// Builds an output path as the window does when the command starts; no controls to refresh.
std::string OutputPath(std::string baseName, std::string_view dir, std::string_view defaultName,
                       std::string_view extension, bool deleteFirst) {
    return PrepareOutputPath(baseName, dir, defaultName, extension, nullptr,
                             [deleteFirst] { return deleteFirst; });
}

// An output file that fails fails for every file after it too: it is reported once.
class OutputFileFailure {
public:
    OutputFileFailure(const std::string& path, Reporter& report) : m_path(path), m_report(report) {}
    void Check(const std::string& error) {
        if (error.empty() || m_reported)
            return;
        m_report.Failure(m_path, error);
        m_reported = true;
    }
    bool Failed() const { return m_reported; }

private:
    const std::string& m_path;
    Reporter& m_report;
    bool m_reported = false;
};

// The table's problem reaches the user; the command goes on with what could be read.
bool LoadTable(EnvironmentSettings& settings, Reporter& report) {
    const std::string problem = LoadEnvironmentTable(settings, kDirSeparator);
    if (!problem.empty())
        report.Note(problem);
    return problem.empty();
}

PipelineSettings Pipeline(const Options& options) {
    PipelineSettings settings;
    settings.jobs = options.jobs;
    settings.stop = &StopRequested();
    settings.faults = TestEvents();
    return settings;
}

} // namespace

std::string Count(std::uint64_t n, std::string_view noun) {
    std::string text = std::to_string(n);
    text.append(" ").append(noun);
    if (n != 1)
        text.push_back('s');
    return text;
}

int Interrupted(Reporter& report) {
    report.Note("interrupted by signal " + std::to_string(StopSignal()));
    return kExitInterrupted + StopSignal();
}

int RunReplace(const Options& options, Reporter& report) {
    EnvironmentSettings settings;
    const bool tableRead = LoadTable(settings, report);
    // Both paths are built, and deleted when asked, before the first file, log path first.
    RewriteJob job;
    job.find = *options.find;
    job.replace = *options.replace;
    job.logPath = OutputPath(options.logName, settings.logDir, kLogDefaultName, kLogExtension,
                             options.deleteLog);
    job.batchPath = OutputPath(options.batchName, settings.batchDir, kBatchDefaultName,
                               kBatchExtension, options.deleteBatch);
    // A new Replace starts a new journal. Where none can be kept, the replace still runs, and
    // says that it cannot be undone.
    UndoJournal journal;
    const std::string journalFolder = UndoJournal::FolderIn(settings.logDir);
    bool journalKept = true;
    if (options.noUndo) {
        UndoJournal::StartEmpty(settings.logDir); // the last Replace is this one, and it has none
    } else {
        std::string error;
        journalKept = journal.Start(settings.logDir, error);
        if (journalKept)
            job.journal = &journal;
        else
            report.Failure(journalFolder, error + "; this replace cannot be undone");
    }
    FixedOptionBoxes boxes(options.createLog, options.createBatchData);
    OutputFileFailure logFailure(job.logPath, report);
    OutputFileFailure batchFailure(job.batchPath, report);
    OutputFileFailure journalFailure(journalFolder, report);
    // The list must survive an interrupted run: each changed file reaches stdout at once.
    report.FlushEachResult();

    std::uint64_t changed = 0;
    std::uint64_t reformatted = 0;
    std::uint64_t replacements = 0;
    std::uint64_t failed = 0;
    const std::size_t total = options.files.size();
    ReplaceFiles(options.files, job, boxes, Pipeline(options),
                 [&](std::size_t i, const RewriteOutcome& outcome) {
                     const std::string& path = options.files[i];
                     if (!outcome.ok) {
                         report.Failure(path, outcome.error);
                         ++failed;
                     } else if (outcome.changed) {
                         report.Result(path);
                         ++changed;
                         replacements += outcome.replacements;
                     } else if (outcome.written) {
                         ++reformatted;
                     }
                     logFailure.Check(outcome.logError);
                     batchFailure.Check(outcome.batchError);
                     if (!outcome.journalError.empty())
                         journalFailure.Check(outcome.journalError +
                                              "; the files after it cannot be undone");
                     report.Progress(i + 1, total);
                 });
    const bool resultsOut = report.FinishResults();
    std::string summary = Count(total, "file") + ", " + std::to_string(changed) + " changed, " +
                          Count(replacements, "replacement") + ", ";
    if (reformatted > 0)
        summary += std::to_string(reformatted) + " reformatted, ";
    report.Note(summary + std::to_string(failed) + " failed");
    if (StopSignal() != 0)
        return Interrupted(report);
    const bool allWell = tableRead && journalKept && !journalFailure.Failed() && failed == 0 &&
                         !logFailure.Failed() && !batchFailure.Failed() && resultsOut;
    return allWell ? kExitOk : kExitFailure;
}

int RunFind(const Options& options, Reporter& report) {
    std::uint64_t matched = 0;
    std::uint64_t failed = 0;
    const std::size_t total = options.files.size();
    FindInFiles(options.files, *options.find, Pipeline(options),
                [&](std::size_t i, FindResult result, const std::string& error) {
                    const std::string& path = options.files[i];
                    switch (result) {
                    case FindResult::Found:
                        report.Result(path);
                        ++matched;
                        break;
                    case FindResult::Error:
                        report.Failure(path, error);
                        ++failed;
                        break;
                    case FindResult::NotFound:
                        break;
                    }
                    report.Progress(i + 1, total);
                });
    const bool resultsOut = report.FinishResults();
    report.Note(Count(total, "file") + ", " + std::to_string(matched) + " matched, " +
                std::to_string(failed) + " failed");
    if (StopSignal() != 0)
        return Interrupted(report);
    // As grep: a file that could not be searched outweighs a match elsewhere.
    if (failed > 0 || !resultsOut)
        return kExitUsage;
    return matched > 0 ? kExitOk : kExitFailure;
}

int RunBatch(const Options& options, Reporter& report) {
    EnvironmentSettings settings;
    const bool tableRead = LoadTable(settings, report);
    const std::string batchPath =
        OutputPath(options.batchName, settings.batchDir, kBatchDefaultName, kBatchExtension,
                   options.deleteBatch);
    // The window writes the paths as its list holds them, without opening the files.
    std::string collected;
    for (const std::string& path : options.files) {
        collected += path;
        collected += '\n';
    }
    std::string error;
    if (!AppendToFile(batchPath, ToNativeLineEnds(BatchRecord(collected)), error, TestEvents(),
                      &StopRequested())) {
        report.Failure(batchPath, error);
        return kExitFailure;
    }
    report.Result(batchPath);
    return report.FinishResults() && tableRead ? kExitOk : kExitFailure;
}

int RunUndo(const Options&, Reporter& report) {
    EnvironmentSettings settings;
    const bool tableRead = LoadTable(settings, report);
    std::uint64_t restored = 0;
    std::uint64_t failed = 0;
    std::string error;
    UndoSettings undo;
    undo.stop = &StopRequested();
    const bool any = UndoLastReplace(
        settings.logDir,
        [&](const std::string& path, const std::string& why) {
            if (why.empty()) {
                report.Result(path);
                ++restored;
            } else {
                report.Failure(path, why);
                ++failed;
            }
        },
        error, undo);
    if (!any) {
        report.Note(error);
        return kExitFailure;
    }
    const bool resultsOut = report.FinishResults();
    if (StopSignal() != 0)
        return Interrupted(report);
    // The journal stopped early: files that replace changed later stay changed.
    if (!error.empty())
        report.Note(error);
    report.Note(std::to_string(restored) + " restored, " + std::to_string(failed) +
                " not restored");
    return tableRead && failed == 0 && error.empty() && resultsOut ? kExitOk : kExitFailure;
}

int RunEnv(Reporter& report) {
    EnvironmentSettings settings;
    const bool tableRead = LoadTable(settings, report);
    report.Result(settings.projectName);
    report.Result("Scheme directory: " + settings.schemeDir);
    report.Result("Log directory: " + settings.logDir);
    report.Result("Batch data directory: " + settings.batchDir);
    return report.FinishResults() && tableRead ? kExitOk : kExitFailure;
}

} // namespace veldran::cli

#pragma once
// Replace and Find Only over many files, for the window and the command line alike: files are
// read, searched and rewritten on a small pool of threads, while one committer, the calling
// thread, finishes and publishes them in input order. New files are made durable in groups
// before they are swapped in one by one.

#include "FileRewrite.h"
#include "FindOnly.h"
#include "OrderedWork.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace veldran {

struct PipelineSettings {
    unsigned jobs = 0; // threads that read and rewrite; 0: one per core
    // Set from outside (a signal): no further file is started, and the files in hand that were
    // not swapped in yet are dropped cleanly.
    const std::atomic<bool>* stop = nullptr;
    WriteFaults* faults = nullptr; // a seam for tests
    // Seams for tests: how the threads start and when they sit idle; a call on the thread that
    // takes up file `index`, before anything else; a call on the committer once it let go of
    // everything ahead of file `index`, before it waits for that file.
    OrderedWorkSeams threads;
    std::function<void(std::size_t index)> beforeFile;
    std::function<void(std::size_t index)> beforeWait;
};

// `job` without its path: the same texts and output files for every file. The option boxes are
// asked on the calling thread, as each file is completed. A file is rewritten once in a run,
// under the first name given for it: a later name of the same file (a hard link, the same path
// spelt otherwise) fails as SameFileAs says.
// "the same file as PATH; skipped", PATH being the first name given for the file.
std::string SameFileAs(const std::string& firstPath);
using PublishReplace = std::function<void(std::size_t index, const RewriteOutcome& outcome)>;
void ReplaceFiles(const std::vector<std::string>& paths, const RewriteJob& job, OptionBoxes& boxes,
                  const PipelineSettings& settings, const PublishReplace& publish);

using PublishFind =
    std::function<void(std::size_t index, FindResult result, const std::string& error)>;
void FindInFiles(const std::vector<std::string>& paths, std::string_view find,
                 const PipelineSettings& settings, const PublishFind& publish);

} // namespace veldran

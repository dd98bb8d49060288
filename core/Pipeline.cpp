#include "Pipeline.h"

#include "OrderedWork.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <thread>

namespace veldran {

namespace {

// A group of new files made durable together: bounded, so an interrupt or a failure leaves at
// most this much to clean up, and memory stays bounded for large files.
constexpr std::size_t kGroupFiles = 64;
constexpr std::size_t kGroupBytes = std::size_t{64} << 20;
// Files a Find Only worker takes at a time: most scheme files are searched in microseconds.
constexpr std::size_t kFindChunk = 32;

unsigned Jobs(const PipelineSettings& settings, std::size_t files) {
    unsigned jobs = settings.jobs != 0 ? settings.jobs : std::thread::hardware_concurrency();
    jobs = std::max(jobs, 1u);
    return static_cast<unsigned>(std::min<std::size_t>(jobs, std::max<std::size_t>(files, 1)));
}

bool Stopped(const PipelineSettings& settings) {
    return settings.stop != nullptr && settings.stop->load();
}

RewriteJob JobFor(const RewriteJob& job, const std::string& path,
                  const PipelineSettings& settings) {
    RewriteJob own = job;
    own.path = path;
    own.stop = settings.stop;
    return own;
}

using Group = std::deque<std::pair<std::size_t, std::unique_ptr<FileInFlight>>>;

// Makes the new files of a group durable: one flush for all where the system has it.
void FlushGroup(Group& group, const PipelineSettings& settings) {
    std::vector<FileInFlight*> files;
    std::vector<RewritableFile*> replacements;
    for (auto& [index, file] : group)
        if (RewritableFile* replacement = file->Replacement()) {
            files.push_back(file.get());
            replacements.push_back(replacement);
        }
    if (files.size() == 1) {
        files.front()->Flush(settings.faults);
        return;
    }
    std::string error;
    if (!files.empty() && !RewritableFile::FlushTogether(replacements, error, settings.faults))
        for (FileInFlight* file : files)
            file->FailFlush(error);
}

} // namespace

void ReplaceFiles(const std::vector<std::string>& paths, const RewriteJob& job, OptionBoxes& boxes,
                  const PipelineSettings& settings, const PublishReplace& publish) {
    OrderedWork<FileInFlight> work(
        paths.size(), Jobs(settings, paths.size()), 1, kGroupBytes * 2, settings.stop,
        [&](std::size_t index) {
            auto file = std::make_unique<FileInFlight>(JobFor(job, paths[index], settings));
            // Never waits for another veldran's lock here: see below.
            file->Prepare(settings.faults, false);
            return file;
        },
        [](const FileInFlight& file) { return file.Bytes(); });

    Group group;
    std::unique_ptr<FileInFlight> carried;
    std::size_t next = 0;
    while (next < paths.size() && !Stopped(settings)) {
        // A group: the next file, waited for, and those after it that are already done.
        std::size_t bytes = 0;
        for (bool first = true;
             next < paths.size() && group.size() < kGroupFiles && bytes < kGroupBytes;
             first = false) {
            std::unique_ptr<FileInFlight> file =
                carried ? std::move(carried) : work.Take(next, first);
            if (!file)
                break;
            if (file->Busy()) {
                // Another veldran holds it. Waiting while holding the locks of the files ahead
                // could wait forever for a veldran that waits for one of those: they are let go
                // first, and done again afterwards.
                if (!first) {
                    carried = std::move(file); // it begins the next group
                    break;
                }
                work.DropAhead(next);
                file = std::make_unique<FileInFlight>(JobFor(job, paths[next], settings));
                file->Prepare(settings.faults, true);
            }
            bytes += file->Bytes();
            group.emplace_back(next++, std::move(file));
        }
        if (group.empty())
            break; // stopped before the next file was started
        FlushGroup(group, settings);
        // Swapped in and published one by one, in order; on a stop the rest of the group goes
        // (its new files removed, the originals as they were).
        for (; !group.empty() && !Stopped(settings); group.pop_front()) {
            auto& [index, file] = group.front();
            file->Complete(boxes, settings.faults);
            publish(index, file->outcome);
        }
        group.clear();
    }
}

void FindInFiles(const std::vector<std::string>& paths, std::string_view find,
                 const PipelineSettings& settings, const PublishFind& publish) {
    struct Found {
        FindResult result = FindResult::NotFound;
        std::string error;
    };
    OrderedWork<Found> work(
        paths.size(), Jobs(settings, paths.size()), kFindChunk, static_cast<std::size_t>(-1),
        settings.stop,
        [&](std::size_t index) {
            auto found = std::make_unique<Found>();
            found->result = FileContains(paths[index], find, found->error);
            return found;
        },
        [](const Found&) { return std::size_t{0}; });
    for (std::size_t i = 0; i < paths.size() && !Stopped(settings); ++i) {
        const std::unique_ptr<Found> found = work.Take(i);
        if (!found)
            break;
        publish(i, found->result, found->error);
    }
}

} // namespace veldran

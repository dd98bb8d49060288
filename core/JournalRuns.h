#pragma once
// What the journal's writer and undo share about the layout of a user's journal folder.

#include "JournalFolder.h"

#include <cstdint>
#include <vector>

namespace veldran::journal {

// The index of a run; renamed when the journal stopped early, so that the name tells it even
// where nothing more could be written.
inline constexpr const char* kIndex = "index";
inline constexpr const char* kStoppedIndex = "stopped";
// Lines that say there is nothing (more) to undo in a run.
inline constexpr std::string_view kEmptyRun = "none";
inline constexpr std::string_view kUndoneRun = "undone";
// Starts the line that tells the order in which an entry's file was swapped in (entries are
// numbered as the threads keep them, not in the Replace's order).
inline constexpr std::string_view kSwappedMark = "@";

// The run folders in the user's journal folder, oldest first.
std::vector<std::uint64_t> RunNumbers(const journalfs::Folder& user);

// Opens a run's index, whichever its name; `stopped` tells which.
bool OpenIndex(const journalfs::Folder& run, NativeHandle& index, bool& stopped, bool& missing,
               std::string& error);

} // namespace veldran::journal

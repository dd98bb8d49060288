#pragma once
// Where the change log and the batch data file lie, and their deletion when asked.

#include <functional>
#include <string>
#include <string_view>

namespace veldran {

inline constexpr std::string_view kLogDefaultName = "VELDRAN";
inline constexpr std::string_view kLogExtension = ".log";
inline constexpr std::string_view kBatchDefaultName = "VELDRAN_BATCH";
inline constexpr std::string_view kBatchExtension = ".dat";

// In this order: an empty base name gets the default and the controls are refreshed; the path
// is directory + base name + extension; the file is deleted when its box is ticked, asked at
// that moment. Returns the path.
std::string PrepareOutputPath(std::string& baseName, std::string_view dir,
                              std::string_view defaultName, std::string_view extension,
                              const std::function<void()>& refreshControls,
                              const std::function<bool()>& deleteBoxTicked);

} // namespace veldran

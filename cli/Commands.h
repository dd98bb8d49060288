#pragma once
// The commands of veldran-cli. Each returns the exit status.

#include "CommandLine.h"
#include "Reporter.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace veldran::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;       // find: nothing matched
inline constexpr int kExitUsage = 2;         // find: also a file that could not be read
inline constexpr int kExitInterrupted = 128; // plus the signal

int RunReplace(const Options& options, Reporter& report);
int RunFind(const Options& options, Reporter& report);
int RunBatch(const Options& options, Reporter& report);
int RunEnv(Reporter& report);
// Puts back the files of the last replace from its undo journal.
int RunUndo(const Options& options, Reporter& report);
// replace --dry-run: prints what the replace would change as a unified diff and changes nothing.
int RunDryRun(const Options& options, Reporter& report);

// For the summaries: "1 file", "2 files".
std::string Count(std::uint64_t n, std::string_view noun);
// Says which signal stopped the command and gives its exit status.
int Interrupted(Reporter& report);

} // namespace veldran::cli

#pragma once
// The environment table: name=value lines whose file is named by TB_ENV_TABLE.

#include <istream>
#include <string>
#include <string_view>

namespace veldran {

inline constexpr const char* kEnvTableVariable = "TB_ENV_TABLE";
inline constexpr std::string_view kProjectPrefix = "Project Name: ";

struct EnvironmentSettings {
    std::string projectName; // "Project Name: " and the project, or empty
    std::string schemeDir;   // each directory ends in the separator once any entry was read
    std::string logDir;
    std::string batchDir;
};

// Applies the table's raw bytes to `settings`, reading them as a text-mode read does: a CR
// directly before a LF is dropped and a Ctrl-Z ends the input.
void ApplyEnvironmentTable(std::string_view raw, EnvironmentSettings& settings, char separator);

// Reads a table from a stream (to its end) and applies it.
void ApplyEnvironmentTable(std::istream& in, EnvironmentSettings& settings, char separator);

// Reads the table named by TB_ENV_TABLE. Unset, or naming a file that cannot be read, it is
// an empty table and leaves the settings as they are. Returns what kept a named table from being
// read ("PATH: REASON"), or the empty text. A pipe or device there is refused, never waited on.
std::string LoadEnvironmentTable(EnvironmentSettings& settings, char separator);

} // namespace veldran

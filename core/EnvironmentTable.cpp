#include "EnvironmentTable.h"

#include "Pieces.h"
#include "SafeFile.h"
#include "TextSearch.h"

#include <cstdlib>
#include <iterator>
#include <new>

namespace veldran {

namespace {

void EndWithSeparator(std::string& dir, char separator) {
    if (dir.empty() || dir.back() != separator)
        dir.push_back(separator);
}

void ApplyEntry(std::string_view name, std::string_view value, EnvironmentSettings& s,
                char separator) {
    if (name == "SB_TEMP")
        s.logDir = value;
    EndWithSeparator(s.logDir, separator);
    if (name == "SB_SHIPDATA")
        s.batchDir = value;
    EndWithSeparator(s.batchDir, separator);
    if (name == "SB_SHIPSCH")
        s.schemeDir = value;
    EndWithSeparator(s.schemeDir, separator);
    if (name == "SB_PROJECT") {
        s.projectName = kProjectPrefix;
        s.projectName.append(value);
    }
}

} // namespace

void ApplyEnvironmentTable(std::string_view raw, EnvironmentSettings& settings, char separator) {
    const std::size_t ctrlZ = FindByte(raw, 0, '\x1A');
    std::string text(raw.substr(0, ctrlZ == kNotFound ? raw.size() : ctrlZ));
    DropCrBeforeLf(text);
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t nl = FindByte(rest, 0, '\n');
        const std::string_view line = rest.substr(0, nl == kNotFound ? rest.size() : nl);
        rest.remove_prefix(nl == kNotFound ? rest.size() : nl + 1);
        const std::size_t eq = FindByte(line, 0, '=');
        if (eq != kNotFound)
            ApplyEntry(line.substr(0, eq), line.substr(eq + 1), settings, separator);
    }
}

void ApplyEnvironmentTable(std::istream& in, EnvironmentSettings& settings, char separator) {
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ApplyEnvironmentTable(raw, settings, separator);
}

std::string LoadEnvironmentTable(EnvironmentSettings& settings, char separator) {
    const char* path = std::getenv(kEnvTableVariable);
    if (path == nullptr)
        return {};
    std::string error;
    try {
        if (std::string raw; ReadWholeFile(path, raw, error)) {
            ApplyEnvironmentTable(raw, settings, separator);
            return {};
        }
    } catch (const std::bad_alloc&) {
        error = "cannot read: out of memory";
    }
    return std::string(path) + ": " + error;
}

} // namespace veldran

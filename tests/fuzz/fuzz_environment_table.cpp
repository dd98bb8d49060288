// The environment table reader against a character-at-a-time model of the table's rules.
// Input: a flags byte (bit 0: backslash as the separator, bit 1: settings not empty at the
// start), then the raw bytes of the table.

#include "EnvironmentTable.h"
#include "FuzzInput.h"
#include "Models.h"

#include <sstream>

using namespace veldran;
using namespace veldran::fuzz;

namespace {

// A text-mode fgetc: CR LF reads as LF, Ctrl-Z ends the input like the end of the file.
class TextModeReader {
public:
    explicit TextModeReader(std::string_view raw) : m_raw(raw) {}
    int Get() {
        if (m_pos >= m_raw.size())
            return EOF;
        const auto c = static_cast<unsigned char>(m_raw[m_pos++]);
        if (c == 0x1A) {
            m_pos = m_raw.size();
            return EOF;
        }
        if (c == '\r' && m_pos < m_raw.size() && m_raw[m_pos] == '\n') {
            ++m_pos;
            return '\n';
        }
        return c;
    }

private:
    std::string_view m_raw;
    std::size_t m_pos = 0;
};

void EndWith(std::string& dir, char separator) {
    if (dir.empty() || dir.back() != separator)
        dir += separator;
}

// Name phase up to the first '=', value phase up to the line end; every entry assigns the member
// of its key, then makes all three directories end in the separator.
EnvironmentSettings Model(std::string_view raw, EnvironmentSettings s, char separator) {
    TextModeReader in(raw);
    for (;;) {
        std::string name;
        int c = in.Get();
        while (c != '\n' && c != EOF && c != '=') {
            name += static_cast<char>(c);
            c = in.Get();
        }
        if (c == EOF)
            return s;
        if (c == '\n')
            continue;
        std::string value;
        for (c = in.Get(); c != '\n' && c != EOF; c = in.Get())
            value += static_cast<char>(c);
        if (name == "SB_TEMP")
            s.logDir = value;
        EndWith(s.logDir, separator);
        if (name == "SB_SHIPDATA")
            s.batchDir = value;
        EndWith(s.batchDir, separator);
        if (name == "SB_SHIPSCH")
            s.schemeDir = value;
        EndWith(s.schemeDir, separator);
        if (name == "SB_PROJECT")
            s.projectName = "Project Name: " + value;
    }
}

bool Same(const EnvironmentSettings& a, const EnvironmentSettings& b) {
    return a.projectName == b.projectName && a.schemeDir == b.schemeDir && a.logDir == b.logDir &&
           a.batchDir == b.batchDir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::uint8_t flags = input.Byte();
    const char separator = (flags & 1) ? '\\' : '/';
    EnvironmentSettings start;
    if (flags & 2)
        start = {"Project Name: old", "old/sch/", "old\\log", ""};
    const std::string_view raw = input.Rest();

    const EnvironmentSettings expected = Model(raw, start, separator);

    EnvironmentSettings fromText = start;
    ApplyEnvironmentTable(raw, fromText, separator);
    Expect(Same(fromText, expected), "ApplyEnvironmentTable(text) differs from the model");

    EnvironmentSettings fromStream = start;
    std::istringstream stream{std::string(raw)};
    ApplyEnvironmentTable(stream, fromStream, separator);
    Expect(Same(fromStream, expected), "ApplyEnvironmentTable(stream) differs from the model");
    return 0;
}

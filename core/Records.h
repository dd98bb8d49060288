#pragma once
// The two output records: a change-log record per changed line, a batch data record per path.

#include <ctime>
#include <string>
#include <string_view>

namespace veldran {

inline constexpr std::string_view kRecordSeparator = " -> ";

// Local time as "%d/%m/%Y %H:%M:%S"; empty when the time cannot be converted or formatted.
std::string FormatTimeStamp(std::time_t when);

// The time stamp of the moment of the call. Formats once per second of clock time, since a
// large file may log many records within one second.
class TimeStamper {
public:
    const std::string& Now();

private:
    std::time_t m_second = -1;
    std::string m_text;
};

// Appends one change-log record: time stamp, " -> ", the file, " -> ", the piece, "\n".
void AppendLogRecord(std::string& out, std::string_view timeStamp, std::string_view file,
                     std::string_view piece);

// A batch data record: the text followed by "\n".
std::string BatchRecord(std::string_view text);

// The output files use the platform's line end: on Windows every "\n" becomes CR LF.
std::string ToNativeLineEnds(std::string text);

} // namespace veldran

#include "Records.h"

#include "Platform.h"

namespace veldran {

std::string FormatTimeStamp(std::time_t when) {
    std::tm local{};
#ifdef _WIN32
    const bool converted = localtime_s(&local, &when) == 0;
#else
    const bool converted = localtime_r(&when, &local) != nullptr;
#endif
    if (!converted)
        return {};
    char buffer[128];
    const std::size_t n = std::strftime(buffer, sizeof buffer, "%d/%m/%Y %H:%M:%S", &local);
    return std::string(buffer, n);
}

const std::string& TimeStamper::Now() {
    const std::time_t now = std::time(nullptr);
    if (now != m_second) {
        m_second = now;
        m_text = FormatTimeStamp(now);
    }
    return m_text;
}

void AppendLogRecord(std::string& out, std::string_view timeStamp, std::string_view file,
                     std::string_view piece) {
    out.append(timeStamp);
    out.append(kRecordSeparator);
    out.append(file);
    out.append(kRecordSeparator);
    out.append(piece);
    out.push_back('\n');
}

std::string BatchRecord(std::string_view text) {
    std::string record(text);
    record.push_back('\n');
    return record;
}

std::string ToNativeLineEnds(std::string text) {
    if constexpr (kIsWindows) {
        std::string out;
        out.reserve(text.size() + text.size() / 32);
        for (const char c : text) {
            if (c == '\n')
                out.push_back('\r');
            out.push_back(c);
        }
        return out;
    }
    return text;
}

} // namespace veldran

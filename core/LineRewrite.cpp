#include "LineRewrite.h"

#include "TextSearch.h"

namespace veldran {

int ReplaceAll(std::string& line, std::string_view find, std::string_view replace) {
    if (find.empty())
        return 0;
    int count = 0;
    std::string out;
    std::size_t copied = 0;
    for (std::size_t at = line.find(find); at != std::string::npos;
         at = line.find(find, at + find.size())) {
        out.append(line, copied, at - copied);
        out.append(replace);
        copied = at + find.size();
        ++count;
    }
    if (count > 0) {
        out.append(line, copied, std::string::npos);
        line.swap(out);
    }
    return count;
}

void WrapTail(std::string& text, std::size_t start) {
    const std::size_t length = text.size() - start;
    if (length <= kWrapThreshold)
        return;
    const std::size_t comma = FindLastByte(text.data() + start, kWrapWindow, ',');
    const std::size_t at = comma == kNotFound ? start : start + comma + 1;
    text.insert(at, kContinuation);
}

void WrapLongLine(std::string& line) {
    WrapTail(line, 0);
}

} // namespace veldran

#include "Ellipsis.h"

namespace {

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The largest n in [low, high] for which fits(n) holds, fits being true up to some n and false
// after it; `low` when none.
template <class Fits> std::size_t Largest(std::size_t low, std::size_t high, Fits fits) {
    while (low < high) {
        const std::size_t mid = low + (high - low + 1) / 2;
        if (fits(mid))
            low = mid;
        else
            high = mid - 1;
    }
    return low;
}

} // namespace

CString ShortenKeepingEnd(const CString& text, int width,
                          const std::function<int(std::string_view)>& measure) {
    if (measure(text) <= width)
        return text;
    const auto prefix = [&text](std::size_t n) {
        while (n > 0 && n < text.size() && IsContinuationByte(text[n]))
            --n;
        return std::string_view(text).substr(0, n);
    };
    const auto suffix = [&text](std::size_t n) {
        std::size_t start = text.size() - n;
        while (start < text.size() && IsContinuationByte(text[start]))
            ++start;
        return std::string_view(text).substr(start);
    };
    const auto joined = [](std::string_view head, std::string_view tail) {
        CString shown(head);
        shown += kEllipsis;
        shown += tail;
        return shown;
    };

    // The last part of a path, with the separator before it; a directory keeps its closing one.
    const std::size_t cut =
        text.size() < 2 ? CString::npos : text.find_last_of("/\\", text.size() - 2);
    if (cut != CString::npos && cut > 0) {
        const std::string_view tail = std::string_view(text).substr(cut);
        if (measure(joined({}, tail)) <= width) {
            const std::size_t n = Largest(
                0, cut, [&](std::size_t k) { return measure(joined(prefix(k), tail)) <= width; });
            return joined(prefix(n), tail);
        }
    }
    const std::size_t n = Largest(
        0, text.size(), [&](std::size_t k) { return measure(joined({}, suffix(k))) <= width; });
    return joined({}, suffix(n));
}

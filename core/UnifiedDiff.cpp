#include "UnifiedDiff.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace veldran {

namespace {

constexpr std::size_t kContext = 3;

using Lines = std::vector<std::string_view>;

// Each line with its "\n"; the last one may have none.
Lines SplitLines(std::string_view bytes) {
    Lines lines;
    lines.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        lines.push_back(bytes.substr(start, next - start));
        start = next;
    }
    return lines;
}

// Old lines [oldStart, oldStart + oldCount) become new lines [newStart, newStart + newCount);
// the lines between two changes are equal on both sides.
struct Change {
    std::size_t oldStart;
    std::size_t oldCount;
    std::size_t newStart;
    std::size_t newCount;
    std::size_t OldEnd() const { return oldStart + oldCount; }
};

// The changes that turn `a` into `b`. Equal lines are taken in step; at a difference the walk
// resumes at the nearest pair of equal lines ahead, nearest by the lines skipped on both sides,
// so no line skipped on one side equals one skipped on the other. That fits a replace, which
// rewrites lines in place; for any input the diff is correct, if not always the shortest, and
// costs O((N + M) log M) whatever the number of changes: each step looks up one old line in an
// index of the new lines.
std::vector<Change> Changes(const Lines& a, const Lines& b) {
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    std::size_t aEnd = a.size();
    std::size_t bEnd = b.size();
    while (aEnd > head && bEnd > head && a[aEnd - 1] == b[bEnd - 1]) {
        --aEnd;
        --bEnd;
    }

    // Lines as numbers, and where each number stands among the new lines, in ascending order.
    std::unordered_map<std::string_view, std::uint32_t> ids;
    auto idOf = [&ids](std::string_view line) {
        return ids.try_emplace(line, static_cast<std::uint32_t>(ids.size())).first->second;
    };
    std::vector<std::uint32_t> bIds(bEnd - head);
    for (std::size_t j = head; j < bEnd; ++j)
        bIds[j - head] = idOf(b[j]);
    std::vector<std::uint32_t> aIds(aEnd - head);
    for (std::size_t i = head; i < aEnd; ++i)
        aIds[i - head] = idOf(a[i]);
    std::vector<std::size_t> first(ids.size() + 1, 0);
    for (const std::uint32_t id : bIds)
        ++first[id + 1];
    for (std::size_t id = 1; id < first.size(); ++id)
        first[id] += first[id - 1];
    std::vector<std::size_t> positions(bIds.size());
    std::vector<std::size_t> filled(first.begin(), first.end() - 1);
    for (std::size_t j = 0; j < bIds.size(); ++j)
        positions[filled[bIds[j]]++] = j;

    std::vector<Change> changes;
    const std::size_t n = aIds.size();
    const std::size_t m = bIds.size();
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && aIds[i] == bIds[j]) {
            ++i;
            ++j;
            continue;
        }
        std::size_t skipA = n - i; // without an equal pair, the rest of both sides
        std::size_t skipB = m - j;
        for (std::size_t da = 0; da < skipA + skipB && i + da < n; ++da) {
            const std::uint32_t id = aIds[i + da];
            const auto from = positions.begin() + static_cast<std::ptrdiff_t>(first[id]);
            const auto to = positions.begin() + static_cast<std::ptrdiff_t>(first[id + 1]);
            const auto at = std::lower_bound(from, to, j);
            if (at != to && da + (*at - j) < skipA + skipB) {
                skipA = da;
                skipB = *at - j;
            }
        }
        changes.push_back({head + i, skipA, head + j, skipB});
        i += skipA;
        j += skipB;
    }
    return changes;
}

// A hunk's range: "start,count", the count left out when it is 1; an empty range names the line
// before it.
void AppendRange(std::string& out, std::size_t from, std::size_t count) {
    out += std::to_string(count == 0 ? from : from + 1);
    if (count != 1)
        out.append(",").append(std::to_string(count));
}

void AppendLines(std::string& out, char mark, const Lines& lines, std::size_t from,
                 std::size_t count) {
    for (std::size_t k = from; k < from + count; ++k) {
        out.push_back(mark);
        out.append(lines[k]);
        if (lines[k].back() != '\n')
            out.append("\n\\ No newline at end of file\n");
    }
}

bool IsControl(unsigned char c) {
    constexpr unsigned char kFirstPrintable = 0x20;
    constexpr unsigned char kDelete = 0x7F;
    return c < kFirstPrintable || c == kDelete;
}

bool NeedsQuotes(std::string_view path) {
    return std::any_of(path.begin(), path.end(),
                       [](char c) { return IsControl(static_cast<unsigned char>(c)) || c == '"'; });
}

// One byte of a quoted name: C's own escape where it has one, else three octal digits.
void AppendEscaped(std::string& out, unsigned char c) {
    constexpr std::string_view kBytes = "\a\b\t\n\v\f\r\"\\";
    constexpr std::string_view kLetters = "abtnvfr\"\\";
    out.push_back('\\');
    if (const std::size_t at = kBytes.find(static_cast<char>(c)); at != std::string_view::npos) {
        out.push_back(kLetters[at]);
        return;
    }
    constexpr unsigned kOctalDigitBits = 3;
    constexpr unsigned kOctalDigitMask = 07;
    for (unsigned shift = 2 * kOctalDigitBits;; shift -= kOctalDigitBits) {
        out.push_back(static_cast<char>('0' + ((c >> shift) & kOctalDigitMask)));
        if (shift == 0)
            break;
    }
}

} // namespace

std::string DiffName(std::string_view path) {
    if (!NeedsQuotes(path))
        return std::string(path);
    std::string out = "\"";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsControl(byte) || c == '"' || c == '\\')
            AppendEscaped(out, byte);
        else
            out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::string UnifiedDiff(std::string_view path, std::string_view oldBytes,
                        std::string_view newBytes) {
    if (oldBytes == newBytes)
        return {};
    const Lines a = SplitLines(oldBytes);
    const Lines b = SplitLines(newBytes);
    const std::vector<Change> changes = Changes(a, b);

    std::string out;
    // patch takes an unquoted name up to the first blank unless a tab ends it.
    const std::string name = DiffName(path);
    const std::string_view nameEnd =
        name.starts_with('"') || name.find(' ') == std::string::npos ? "\n" : "\t\n";
    out.append("--- ").append(name).append(nameEnd);
    out.append("+++ ").append(name).append(nameEnd);
    std::size_t k = 0;
    while (k < changes.size()) {
        // Changes closer than twice the context share a hunk.
        std::size_t last = k;
        while (last + 1 < changes.size() &&
               changes[last + 1].oldStart - changes[last].OldEnd() <= 2 * kContext)
            ++last;
        const Change& front = changes[k];
        const Change& back = changes[last];
        const std::size_t before = std::min(kContext, front.oldStart);
        const std::size_t after = std::min(kContext, a.size() - back.OldEnd());
        const std::size_t oldFrom = front.oldStart - before;
        const std::size_t newFrom = front.newStart - before;
        out.append("@@ -");
        AppendRange(out, oldFrom, back.OldEnd() + after - oldFrom);
        out.append(" +");
        AppendRange(out, newFrom, back.newStart + back.newCount + after - newFrom);
        out.append(" @@\n");
        std::size_t equalFrom = oldFrom;
        for (std::size_t c = k; c <= last; ++c) {
            AppendLines(out, ' ', a, equalFrom, changes[c].oldStart - equalFrom);
            AppendLines(out, '-', a, changes[c].oldStart, changes[c].oldCount);
            AppendLines(out, '+', b, changes[c].newStart, changes[c].newCount);
            equalFrom = changes[c].OldEnd();
        }
        AppendLines(out, ' ', a, equalFrom, after);
        k = last + 1;
    }
    return out;
}

} // namespace veldran

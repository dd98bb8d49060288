#include "UnifiedDiff.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace veldran;
using namespace std::string_literals;

namespace {

struct DiffCase {
    std::string name;
    std::string oldBytes;
    std::string newBytes;
    std::string hunks; // what follows the two header lines; empty when nothing differs
};

std::string Numbered(int from, int to) {
    std::string text;
    for (int n = from; n <= to; ++n)
        text += std::to_string(n) + "\n";
    return text;
}

std::vector<std::string> SplitKeepingEnds(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, next - start));
        start = next;
    }
    return lines;
}

// Applies a diff strictly: every hunk must stand where its header says, with its counts, and
// every context and removed line must be the old file's. Reports what is wrong as a failure.
std::string Apply(const std::string& oldBytes, const std::string& diff) {
    const std::vector<std::string> a = SplitKeepingEnds(oldBytes);
    std::vector<std::string> d = SplitKeepingEnds(diff);
    std::string out;
    std::size_t at = 0;
    for (std::size_t k = 2; k < d.size();) {
        unsigned long oldFrom = 0, oldCount = 1, newFrom = 0, newCount = 1;
        const std::string& header = d[k++];
        if (std::sscanf(header.c_str(), "@@ -%lu,%lu +%lu", &oldFrom, &oldCount, &newFrom) != 3 &&
            std::sscanf(header.c_str(), "@@ -%lu +%lu", &oldFrom, &newFrom) != 2) {
            ADD_FAILURE() << "not a hunk header: " << header;
            return out;
        }
        const std::size_t plus = header.find('+');
        std::sscanf(header.c_str() + plus, "+%lu,%lu", &newFrom, &newCount);
        const std::size_t start = oldCount == 0 ? oldFrom : oldFrom - 1;
        EXPECT_GE(start, at) << header;
        for (; at < start && at < a.size(); ++at)
            out += a[at];
        unsigned long removed = 0, added = 0;
        while (k < d.size() && d[k][0] != '@') {
            std::string line = d[k].substr(1);
            const char mark = d[k++][0];
            if (k < d.size() && d[k] == "\\ No newline at end of file\n") {
                line.pop_back();
                ++k;
            }
            if (mark != '+') {
                EXPECT_TRUE(at < a.size() && a[at] == line) << "line " << at + 1 << " of the old";
                ++at;
                ++removed;
            }
            if (mark != '-') {
                out += line;
                ++added;
            }
        }
        EXPECT_EQ(removed, oldCount) << header;
        EXPECT_EQ(added, newCount) << header;
    }
    for (; at < a.size(); ++at)
        out += a[at];
    return out;
}

} // namespace

TEST(UnifiedDiff, Hunks) {
    const std::string noNewline = "\\ No newline at end of file\n";
    const std::vector<DiffCase> cases{
        {"no change", "a\nb", "a\nb", ""},
        {"at the start", Numbered(1, 9), "X\n" + Numbered(2, 9),
         "@@ -1,4 +1,4 @@\n-1\n+X\n 2\n 3\n 4\n"},
        {"in the middle", Numbered(1, 9), Numbered(1, 4) + "X\n" + Numbered(6, 9),
         "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-5\n+X\n 6\n 7\n 8\n"},
        {"at the end", Numbered(1, 9), Numbered(1, 8) + "X\n",
         "@@ -6,4 +6,4 @@\n 6\n 7\n 8\n-9\n+X\n"},
        {"six lines apart share a hunk", Numbered(1, 20),
         Numbered(1, 2) + "X\n" + Numbered(4, 9) + "Y\n" + Numbered(11, 20),
         "@@ -1,13 +1,13 @@\n 1\n 2\n-3\n+X\n 4\n 5\n 6\n 7\n 8\n 9\n-10\n+Y\n 11\n 12\n 13\n"},
        {"seven lines apart do not", Numbered(1, 20),
         Numbered(1, 2) + "X\n" + Numbered(4, 10) + "Y\n" + Numbered(12, 20),
         "@@ -1,6 +1,6 @@\n 1\n 2\n-3\n+X\n 4\n 5\n 6\n"
         "@@ -8,7 +8,7 @@\n 8\n 9\n 10\n-11\n+Y\n 12\n 13\n 14\n"},
        {"old without final newline", "a\nb", "a\nb\n",
         "@@ -1,2 +1,2 @@\n a\n-b\n" + noNewline + "+b\n"},
        {"new without final newline", "a\nb\n", "a\nB",
         "@@ -1,2 +1,2 @@\n a\n-b\n+B\n" + noNewline},
        {"last line kept without newline", "a\nb", "A\nb",
         "@@ -1,2 +1,2 @@\n-a\n+A\n b\n" + noNewline},
        {"CR bytes kept", "a\r\nb\r\n", "a\r\nB\r\n", "@@ -1,2 +1,2 @@\n a\r\n-b\r\n+B\r\n"},
        {"line ends changed", "a\nb\n", "a\r\nb\r\n", "@@ -1,2 +1,2 @@\n-a\n-b\n+a\r\n+b\r\n"},
        {"zero bytes kept", "a\0b\nc\n"s, "a\0B\nc\n"s, "@@ -1,2 +1,2 @@\n-a\0b\n+a\0B\n c\n"s},
        {"empty to text", "", "x\n", "@@ -0,0 +1 @@\n+x\n"},
        {"text to empty", "x", "", "@@ -1 +0,0 @@\n-x\n" + noNewline},
        {"a longer line wrapped", "a\nxxxx,AH36 yyyy\nb\n", "a\nxxxx,\n     EH36 yyyy\nb\n",
         "@@ -1,3 +1,4 @@\n a\n-xxxx,AH36 yyyy\n+xxxx,\n+     EH36 yyyy\n b\n"},
        {"lines inserted before equal ones", "p\nq\n", "n\np\nq\nr\n",
         "@@ -1,2 +1,4 @@\n+n\n p\n q\n+r\n"},
    };
    for (const DiffCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string diff = UnifiedDiff("dir/f.sch", c.oldBytes, c.newBytes);
        EXPECT_EQ(diff, c.hunks.empty() ? "" : "--- dir/f.sch\n+++ dir/f.sch\n" + c.hunks);
        EXPECT_EQ(Apply(c.oldBytes, diff), c.newBytes);
    }
}

TEST(UnifiedDiff, PathAsGivenTabEndedWhenItHoldsABlank) {
    EXPECT_EQ(UnifiedDiff("../a b.sch", "a\n", "b\n"),
              "--- ../a b.sch\t\n+++ ../a b.sch\t\n@@ -1 +1 @@\n-a\n+b\n");
    EXPECT_EQ(UnifiedDiff("C:\\s\\a.sch", "a\n", "b\n").substr(0, 30),
              "--- C:\\s\\a.sch\n+++ C:\\s\\a.sch\n");
}

// Any pair of texts, however unlike: the diff must take the old text to the new one exactly.
TEST(UnifiedDiff, AppliesToAnyInput) {
    std::mt19937 random(14);
    const std::vector<std::string> pieces{"a\n", "b\n", "c\r\n", "\n", "d", "a,b\n", "e\n"};
    auto text = [&](std::size_t lines) {
        std::string t;
        for (std::size_t n = 0; n < lines; ++n)
            t += pieces[random() % pieces.size()];
        return t;
    };
    for (int round = 0; round < 2000; ++round) {
        const std::string oldBytes = text(random() % 30);
        std::string newBytes;
        if (round % 2 == 0) {
            newBytes = text(random() % 30);
        } else { // a few local edits, as a replace makes
            std::vector<std::string> lines = SplitKeepingEnds(oldBytes);
            for (auto edit = random() % 4; edit > 0 && !lines.empty(); --edit)
                lines[random() % lines.size()] = text(random() % 3);
            for (const std::string& line : lines)
                newBytes += line;
        }
        SCOPED_TRACE("round " + std::to_string(round));
        const std::string diff = UnifiedDiff("f", oldBytes, newBytes);
        EXPECT_EQ(diff.empty(), oldBytes == newBytes);
        if (!diff.empty()) {
            EXPECT_EQ(Apply(oldBytes, diff), newBytes) << diff;
        }
        if (HasFailure())
            break;
    }
}

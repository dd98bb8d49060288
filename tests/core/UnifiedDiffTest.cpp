#include "UnifiedDiff.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace veldran;

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

// Applies a diff strictly: each hunk where its header puts it, every context and removed line
// the old text's own.
std::string Apply(const std::string& oldBytes, const std::string& diff) {
    const std::vector<std::string> a = SplitKeepingEnds(oldBytes), d = SplitKeepingEnds(diff);
    std::string out;
    std::size_t at = 0;
    for (std::size_t k = 2; k < d.size(); ++k) {
        const char mark = d[k][0];
        std::string line = d[k].substr(1);
        if (k + 1 < d.size() && d[k + 1][0] == '\\' && d[++k] == "\\ No newline at end of file\n")
            line.pop_back();
        if (mark == '@') {
            unsigned long from = 0, count = 1;
            std::sscanf(d[k].c_str(), "@@ -%lu,%lu", &from, &count);
            for (const std::size_t start = count == 0 ? from : from - 1; at < start; ++at)
                out += a.at(at);
            continue;
        }
        if (mark != '+') {
            EXPECT_EQ(at < a.size() ? a[at++] : "(past the end)", line);
        }
        if (mark != '-')
            out += line;
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
        {"empty to text", "", "x\n", "@@ -0,0 +1 @@\n+x\n"},
        {"text to empty", "x", "", "@@ -1 +0,0 @@\n-x\n" + noNewline},
        {"a longer line wrapped", "a\nxxxx,AH36 yyyy\nb\n", "a\nxxxx,\n     EH36 yyyy\nb\n",
         "@@ -1,3 +1,4 @@\n a\n-xxxx,AH36 yyyy\n+xxxx,\n+     EH36 yyyy\n b\n"},
    };
    for (const DiffCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string diff = UnifiedDiff("dir/f.sch", c.oldBytes, c.newBytes);
        EXPECT_EQ(diff, c.hunks.empty() ? "" : "--- dir/f.sch\n+++ dir/f.sch\n" + c.hunks);
        EXPECT_EQ(Apply(c.oldBytes, diff), c.newBytes);
    }
}

// A file name cannot end or fake a header line: a name with a control byte or a double quote is
// quoted; any other name, leading dash, backslash and bytes that are not UTF-8 included, stays
// as it is.
TEST(UnifiedDiff, HeadersQuoteANameOnlyWhereItCouldEndOrFakeTheLine) {
    struct NameCase {
        std::string path;
        std::string header; // the name as both header lines give it, with what ends them
    };
    const std::vector<NameCase> cases{
        {"dir/f.sch", "dir/f.sch\n"},
        {"../a b.sch", "../a b.sch\t\n"},
        {"z.sch\n--- victim.sch\n+++ victim.sch\n@@ -1 +1 @@",
         "\"z.sch\\n--- victim.sch\\n+++ victim.sch\\n@@ -1 +1 @@\"\n"},
        {"a\rb.sch", "\"a\\rb.sch\"\n"},
        {"a\tb.sch", "\"a\\tb.sch\"\n"},
        {"a b\nc.sch", "\"a b\\nc.sch\"\n"},
        {"a\"b.sch", "\"a\\\"b.sch\"\n"},
        {"\"a.sch\"", "\"\\\"a.sch\\\"\"\n"},
        {"a\\b.sch", "a\\b.sch\n"},
        {"a\\b\n.sch", "\"a\\\\b\\n.sch\"\n"},
        {"-rPWNED.sch", "-rPWNED.sch\n"},
        {"--- x.sch", "--- x.sch\t\n"},
        {"caf\xe9\xff.sch", "caf\xe9\xff.sch\n"},
        {std::string("a\0b", 3), "\"a\\000b\"\n"},
        {"\a\b\v\f\x01\x1b[31m\x7f", "\"\\a\\b\\v\\f\\001\\033[31m\\177\"\n"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.header);
        EXPECT_EQ(UnifiedDiff(c.path, "a\n", "b\n"),
                  "--- " + c.header + "+++ " + c.header + "@@ -1 +1 @@\n-a\n+b\n");
    }
}

// Any pair of texts, however unlike, and texts with a few local edits as a replace makes: the
// diff must take the old text to the new one exactly.
TEST(UnifiedDiff, AppliesToAnyInput) {
    std::mt19937 random(14);
    const std::vector<std::string> pieces{"a\n", "b\n", "c\r\n", "\n", "d", "a,b\n"};
    auto text = [&](unsigned lines) {
        std::string t;
        while (lines-- > 0)
            t += pieces[random() % pieces.size()];
        return t;
    };
    for (int round = 0; round < 2000 && !HasFailure(); ++round) {
        const std::string oldBytes = text(random() % 30);
        std::string newBytes = oldBytes;
        if (round % 2 == 0)
            newBytes = text(random() % 30);
        else
            for (int edit = 0; edit < 3; ++edit)
                newBytes.insert(random() % (newBytes.size() + 1), text(random() % 2));
        const std::string diff = UnifiedDiff("f", oldBytes, newBytes);
        EXPECT_EQ(diff.empty(), oldBytes == newBytes);
        EXPECT_EQ(Apply(oldBytes, diff), newBytes) << "round " << round << "\n" << diff;
    }
}

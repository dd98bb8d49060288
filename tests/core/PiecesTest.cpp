#include "Pieces.h"
#include "LineRewrite.h"
#include "TestSupport.h"
#include "TextSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using namespace veldran;

namespace {

// The pieces that the C library's fgets with a 256-byte buffer delivers from the same bytes;
// piece lengths come from the file position, so zero bytes are carried through.
std::vector<std::string> FgetsPieces(const std::string& bytes) {
    std::vector<std::string> pieces;
#ifdef _WIN32
    // The C runtime there makes its temporary files in the root of the drive, which is rarely
    // writable: a file of our own instead, in binary mode as a temporary file would be.
    static const test::TempDir dir;
    std::FILE* f = std::fopen(dir.File("pieces").c_str(), "w+b");
#else
    std::FILE* f = std::tmpfile();
#endif
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    char buffer[256];
    long before = 0;
    while (std::fgets(buffer, sizeof buffer, f) != nullptr) {
        const long after = std::ftell(f);
        pieces.emplace_back(buffer, static_cast<std::size_t>(after - before));
        before = after;
    }
    std::fclose(f);
    return pieces;
}

std::vector<std::string> CutterPieces(const std::string& text) {
    std::vector<std::string> pieces;
    PieceCutter cutter(text);
    for (std::string_view p = cutter.Next(); !p.empty(); p = cutter.Next())
        pieces.emplace_back(p);
    return pieces;
}

// Texts of the kind that hit piece and wrap boundaries: short and long lines, commas, CRs,
// zero bytes, and a small alphabet so that find texts occur often.
std::string RandomText(std::mt19937& rng) {
    static const char alphabet[] = "ab,,\n\r \0\x1A";
    std::uniform_int_distribution<int> lengthOf(0, 900);
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 2);
    std::uniform_int_distribution<int> longRun(0, 30);
    std::string text;
    const int n = lengthOf(rng);
    while (static_cast<int>(text.size()) < n) {
        if (longRun(rng) == 0)
            text.append(static_cast<std::size_t>(lengthOf(rng) % 300), 'a');
        else
            text.push_back(alphabet[pick(rng)]);
    }
    return text;
}

std::string RandomNeedle(std::mt19937& rng) {
    static const char alphabet[] = "ab,\n";
    std::uniform_int_distribution<int> lengthOf(0, 4);
    std::uniform_int_distribution<int> pick(0, 3);
    std::string needle;
    for (int i = lengthOf(rng); i > 0; --i)
        needle.push_back(alphabet[pick(rng)]);
    return needle;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n')
            out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

} // namespace

TEST(PieceCutter, DeliversWhatFgetsDelivers) {
    const std::string line300 = std::string(300, 'x') + "\n";
    const std::string line255 = std::string(255, 'y') + "\n";
    const std::vector<std::string> fixed = {"",
                                            "\n",
                                            "a",
                                            "a\nb",
                                            "a\n\n",
                                            line300,
                                            line255,
                                            std::string(254, 'z') + "\n",
                                            std::string(510, 'w'),
                                            std::string("one\0two\nthree", 13)};
    for (const std::string& text : fixed)
        EXPECT_EQ(CutterPieces(text), FgetsPieces(text)) << "text of " << text.size();

    EXPECT_EQ(CutterPieces(line300),
              (std::vector<std::string>{std::string(255, 'x'), std::string(45, 'x') + "\n"}));
    EXPECT_EQ(CutterPieces(line255), (std::vector<std::string>{std::string(255, 'y'), "\n"}));

    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        const std::string text = RandomText(rng);
        ASSERT_EQ(CutterPieces(text), FgetsPieces(text)) << "case " << i;
    }
}

TEST(DropCrBeforeLf, DropsOnlyACrDirectlyBeforeALf) {
    struct Case {
        std::string in, out;
        bool sawCrLf;
    };
    const Case cases[] = {{"a\r\nb\r\n", "a\nb\n", true}, {"a\rb\r", "a\rb\r", false},
                          {"\r\r\n", "\r\n", true},       {"x\n\r", "x\n\r", false},
                          {"\r\n\r\n\r", "\n\n\r", true}, {"", "", false}};
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(DropCrBeforeLf(text), c.sawCrLf) << c.in;
        EXPECT_EQ(text, c.out);
    }
    // Long texts, dense in CR LF or sparse, against the rule applied byte by byte.
    std::mt19937 rng(11);
    const std::string parts[] = {"\r\n", "\r", "\n", "\r\r\n", "a", "bcd,"};
    std::uniform_int_distribution<std::size_t> part(0, std::size(parts) - 1);
    std::uniform_int_distribution<std::size_t> run(0, 90);
    for (int round = 0; round < 400; ++round) {
        std::string text;
        while (text.size() < 3000)
            text += round % 3 == 0 ? std::string(run(rng), 'x') : parts[part(rng)];
        std::string expected;
        for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
                expected += text[i];
        ASSERT_EQ(CountByte(text, '\n'),
                  static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
        DropCrBeforeLf(text);
        ASSERT_EQ(text, expected) << "round " << round;
    }
}

TEST(RewritePieces, MatchesTheLineRulesAppliedPieceByPiece) {
    std::mt19937 rng(11);
    for (int i = 0; i < 400; ++i) {
        const std::string text = RandomText(rng);
        const std::string find = RandomNeedle(rng);
        const std::string replace = RandomNeedle(rng) + RandomNeedle(rng);
        const bool crlf = i % 3 == 0;

        std::string expected;
        std::vector<std::string> expectedLogged;
        std::uint64_t expectedCount = 0;
        for (std::string piece : FgetsPieces(text)) {
            const int count = ReplaceAll(piece, find, replace);
            expectedCount += static_cast<std::uint64_t>(count);
            if (count > 0)
                expectedLogged.push_back(piece);
            WrapLongLine(piece);
            expected += crlf ? WithCrLf(piece) : piece;
        }

        std::string out = "kept:";
        std::vector<std::string> logged;
        const PieceRewriteStats stats =
            RewritePieces(text, find, replace, crlf, out,
                          [&](std::string_view piece) { logged.emplace_back(piece); });
        ASSERT_EQ(out, "kept:" + expected) << "case " << i << " find '" << find << "'";
        EXPECT_EQ(logged, expectedLogged);
        EXPECT_EQ(stats.replacements, expectedCount);
        EXPECT_EQ(stats.changedPieces, expectedLogged.size());
    }
}

TEST(RewritePieces, FindTextAcrossAPieceBoundaryIsNotReplaced) {
    // The find text "xy" straddles characters 255 and 256 of a 300-character line.
    std::string line(300, '.');
    line[254] = 'x';
    line[255] = 'y';
    line += "\n";
    std::string out;
    const PieceRewriteStats stats = RewritePieces(line, "xy", "Q", false, out, nullptr);
    EXPECT_EQ(stats.replacements, 0u);
    // Both pieces are still wrapped: the first is 255 characters without a comma.
    EXPECT_EQ(out, "\n     " + line.substr(0, 255) + line.substr(255));

    std::string tooLong(300, 'k');
    std::string out2;
    EXPECT_EQ(RewritePieces(tooLong + "\n", tooLong, "", false, out2, nullptr).replacements, 0u);
}

TEST(PiecesContain, MatchesASearchOfEachPiece) {
    std::mt19937 rng(23);
    for (int i = 0; i < 600; ++i) {
        const std::string text = RandomText(rng);
        const std::string find = RandomNeedle(rng);
        bool expected = false;
        for (const std::string& piece : FgetsPieces(text))
            expected = expected || piece.find(find) != std::string::npos;
        ASSERT_EQ(PiecesContain(text, find), expected)
            << "case " << i << " find '" << find << "' in " << text.size();
    }
}

TEST(PiecesContain, EdgesOfThePieceRules) {
    std::string line(300, '.');
    line.replace(254, 2, "xy");
    EXPECT_FALSE(PiecesContain(line + "\n", "xy"));
    EXPECT_TRUE(PiecesContain(line + "\n", ".x"));
    EXPECT_TRUE(PiecesContain("abc\n", "c\n"));      // the newline belongs to the piece
    EXPECT_FALSE(PiecesContain("abc\ndef", "c\nd")); // but nothing after it does
    EXPECT_TRUE(PiecesContain("x", ""));
    EXPECT_FALSE(PiecesContain("", ""));
    EXPECT_FALSE(PiecesContain("Plate\n", "plate"));
}

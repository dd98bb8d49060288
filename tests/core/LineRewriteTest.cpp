#include "LineRewrite.h"

#include <gtest/gtest.h>

using namespace veldran;

namespace {

std::string Wrapped(std::string line) {
    WrapLongLine(line);
    return line;
}

} // namespace

TEST(ReplaceAll, TakesOccurrencesLeftToRightWithoutOverlap) {
    std::string four = "aaaa";
    EXPECT_EQ(ReplaceAll(four, "aa", "X"), 2);
    EXPECT_EQ(four, "XX");

    std::string three = "aaa";
    EXPECT_EQ(ReplaceAll(three, "aa", "X"), 1);
    EXPECT_EQ(three, "Xa");
}

TEST(ReplaceAll, NeverSearchesInsertedText) {
    std::string grows = "aaa";
    EXPECT_EQ(ReplaceAll(grows, "a", "aa"), 3);
    EXPECT_EQ(grows, "aaaaaa");

    // The join of an insertion and the following text is not searched either.
    std::string joined = "xab";
    EXPECT_EQ(ReplaceAll(joined, "x", "a"), 1);
    EXPECT_EQ(joined, "aab");
}

TEST(ReplaceAll, EmptyTexts) {
    std::string line = "abc\n";
    EXPECT_EQ(ReplaceAll(line, "", "zzz"), 0);
    EXPECT_EQ(line, "abc\n");

    std::string deletes = "a,b,,c\n";
    EXPECT_EQ(ReplaceAll(deletes, ",", ""), 3);
    EXPECT_EQ(deletes, "abc\n");
}

TEST(ReplaceAll, IsExactAndCaseSensitive) {
    std::string line = "Plate PLATE plate 100%d\n";
    EXPECT_EQ(ReplaceAll(line, "plate", "x"), 1);
    EXPECT_EQ(line, "Plate PLATE x 100%d\n");
    EXPECT_EQ(ReplaceAll(line, "%d", "%s"), 1);
    EXPECT_EQ(line, "Plate PLATE x 100%s\n");
    EXPECT_EQ(ReplaceAll(line, "\n", "|"), 1);
    EXPECT_EQ(line, "Plate PLATE x 100%s|");
}

TEST(WrapLongLine, ThresholdCountsTheNewline) {
    const std::string seventyOne(71, 'a');
    EXPECT_EQ(Wrapped(seventyOne + "\n"), seventyOne + "\n");
    EXPECT_EQ(Wrapped(seventyOne + "a\n"), "\n     " + seventyOne + "a\n");
    // A last line without newline: 72 characters stay, 73 are wrapped.
    EXPECT_EQ(Wrapped(std::string(72, 'b')), std::string(72, 'b'));
    EXPECT_EQ(Wrapped(std::string(73, 'b')), "\n     " + std::string(73, 'b'));
}

TEST(WrapLongLine, BreaksAfterTheLastCommaOfTheFirstSeventy) {
    std::string line(80, 'x');
    line[10] = ',';
    line[69] = ',';
    line[75] = ',';
    EXPECT_EQ(Wrapped(line), line.substr(0, 70) + "\n     " + line.substr(70));

    std::string onlyLate(80, 'x');
    onlyLate[70] = ',';
    EXPECT_EQ(Wrapped(onlyLate), "\n     " + onlyLate);

    std::string atZero = "," + std::string(79, 'y');
    EXPECT_EQ(Wrapped(atZero), ",\n     " + std::string(79, 'y'));
}

TEST(WrapLongLine, BreaksOnceOnlyButAgainOnTheNextRun) {
    std::string line(200, 'z');
    line[30] = ',';
    line[150] = ',';
    line += "\n";
    const std::string once = Wrapped(line);
    EXPECT_EQ(once, line.substr(0, 31) + "\n     " + line.substr(31));
    EXPECT_EQ(once.size(), line.size() + 6);

    // The next run sees the second part as a line of its own; its comma now stands at 124,
    // outside the window, so the break goes before its first character.
    const std::string second = once.substr(32);
    ASSERT_EQ(second.size(), 5 + 169 + 1);
    EXPECT_EQ(Wrapped(second), "\n     " + second);

    std::string noComma(100, 'q');
    const std::string first = Wrapped(noComma);
    EXPECT_EQ(Wrapped(first.substr(1)), "\n     " + first.substr(1));
}

TEST(WrapLongLine, WrapTailWorksInPlaceBehindEarlierText) {
    std::string text = "head\n";
    text += std::string(40, 'a') + "," + std::string(40, 'b') + "\n";
    WrapTail(text, 5);
    EXPECT_EQ(text, "head\n" + std::string(40, 'a') + ",\n     " + std::string(40, 'b') + "\n");
}

#include "TextSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace veldran;

namespace {

std::size_t Expected(std::string_view text, std::size_t from, std::string_view needle) {
    const std::size_t at = text.find(needle, from);
    return at == std::string_view::npos ? kNotFound : at;
}

} // namespace

// The vector search works on 32 positions at a time: hits and near-hits must be found at every
// position inside and across such blocks, at the very end, and from any starting point.
TEST(FindLiteral, AgreesWithTheStandardSearch) {
    std::mt19937 rng(6);
    std::uniform_int_distribution<int> textLength(0, 200);
    std::uniform_int_distribution<int> needleLength(1, 40);
    std::uniform_int_distribution<int> pick(0, 2);
    const char alphabet[] = "ab\n";
    for (int round = 0; round < 3000; ++round) {
        std::string text(static_cast<std::size_t>(textLength(rng)), 'a');
        for (char& c : text)
            c = alphabet[pick(rng)];
        std::string needle;
        // Half of the needles are cut from the text, so they occur.
        const std::size_t n = static_cast<std::size_t>(needleLength(rng));
        if (round % 2 == 0 && text.size() >= n) {
            std::uniform_int_distribution<std::size_t> start(0, text.size() - n);
            needle = text.substr(start(rng), n);
        } else {
            for (std::size_t i = 0; i < n; ++i)
                needle.push_back(alphabet[pick(rng)]);
        }
        for (std::size_t from = 0; from <= text.size() + 1; from += 1 + from / 8)
            ASSERT_EQ(FindLiteral(text, from, needle), Expected(text, from, needle))
                << "text \"" << text << "\" needle \"" << needle << "\" from " << from;
    }
}

// Where the first and last bytes agree almost everywhere, the search gives up on the vector
// filter; the answer must stay the same.
TEST(FindLiteral, TextFullOfFalseCandidates) {
    std::string text(5000, 'a');
    EXPECT_EQ(FindLiteral(text, 0, "abba"), kNotFound);
    text.replace(4321, 4, "abba");
    EXPECT_EQ(FindLiteral(text, 0, "abba"), 4321u);
    EXPECT_EQ(FindLiteral(text, 4322, "abba"), kNotFound);
    EXPECT_EQ(FindLiteral(text, 7, "aaaa"), 7u);
    // A zero byte is an ordinary byte, in the text and in the needle.
    text[4999] = '\0';
    EXPECT_EQ(FindLiteral(text, 0, std::string_view("a\0", 2)), 4998u);
}

namespace {

std::size_t ExpectedShortLinesEnd(std::string_view text, std::size_t pos, std::size_t limit,
                                  std::size_t maxLength) {
    std::size_t lineStart = pos;
    for (std::size_t i = pos; i < limit; ++i) {
        if (i + 1 - lineStart > maxLength)
            break;
        if (text[i] == '\n')
            lineStart = i + 1;
    }
    return lineStart;
}

} // namespace

// Lines just under, at and over the limit, in runs long enough for the 64-byte blocks, seen from
// every kind of start and end.
TEST(ShortLinesEnd, StopsAtTheFirstLongOrUnfinishedLine) {
    std::mt19937 rng(72);
    std::uniform_int_distribution<int> lineLength(1, 80);
    std::uniform_int_distribution<int> lines(0, 40);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int n = lines(rng); n > 0; --n) {
            const int length = round % 3 == 0 ? lineLength(rng) : 60 + lineLength(rng) % 14;
            text.append(static_cast<std::size_t>(length - 1), 'x').push_back('\n');
        }
        std::uniform_int_distribution<std::size_t> at(0, text.size());
        std::size_t pos = at(rng);
        std::size_t limit = at(rng);
        if (pos > limit)
            std::swap(pos, limit);
        ASSERT_EQ(ShortLinesEnd(text, pos, limit, 72), ExpectedShortLinesEnd(text, pos, limit, 72))
            << "pos " << pos << " limit " << limit << " size " << text.size();
    }
}

#include "TextSearch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace veldran;

namespace {

std::size_t Expected(std::string_view text, std::size_t from, std::string_view needle) {
    const std::size_t at = text.find(needle, from);
    return at == std::string_view::npos ? kNotFound : at;
}

std::string Repeat(std::string_view part, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text.append(part);
    return text;
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

namespace {

// Every search the processor runs, the vector ones and the library's fallback, called directly.
std::vector<detail::SearchKind> KindsThatRun() {
    std::vector<detail::SearchKind> kinds;
    for (const detail::SearchKind kind :
         {detail::SearchKind::Avx2, detail::SearchKind::Sse2, detail::SearchKind::Library})
        if (detail::Runs(kind))
            kinds.push_back(kind);
    return kinds;
}

std::size_t Searched(detail::SearchKind kind, std::string_view text, std::size_t from,
                     std::string_view needle) {
    if (text.size() - from < needle.size())
        return kNotFound;
    const char* hit = detail::SearchWith(kind, text.data() + from, text.size() - from, needle);
    return hit ? static_cast<std::size_t>(hit - text.data()) : kNotFound;
}

// The needle with one byte changed: where the search compares first, it looks like a hit.
std::string NearMiss(std::string_view needle, std::size_t at) {
    std::string miss(needle);
    miss[at] = miss[at] == 'x' ? 'y' : 'x';
    return miss;
}

} // namespace

// Needles whose rarest bytes (control bytes, which typical text hardly has) sit at the start, in
// the middle, at the end or nowhere, each placed at every offset of texts on both sides of 32,
// 64 and 128 bytes, among copies that differ from it in one byte; and cut off by the text's end.
TEST(FindLiteral, EverySearchFindsTheLeftmostAtEveryOffset) {
    const struct {
        const char* name;
        std::string needle;
    } cases[] = {
        {"rare first", std::string("\x01"
                                   "eeeee")},
        {"rare in the middle", std::string("ee\x01"
                                           "e e")},
        {"rare last", std::string("e eee\x01")},
        {"rare at both ends", std::string("\x01 e e\x02")},
        {"one rare byte twice", std::string("e\x01\x01"
                                            "e")},
        {"no rare byte", std::string("eeee e")},
        {"one byte repeated", std::string(9, 'e')},
        {"two bytes", std::string("\x01"
                                  "e")},
        {"a zero byte", std::string("e\0"
                                    "e\x7f\xff",
                                    5)},
        {"longer than a vector", std::string(40, 'e') + '\x01' + std::string(40, ' ')},
    };
    const std::vector<detail::SearchKind> kinds = KindsThatRun();
    ASSERT_FALSE(kinds.empty());
    for (const auto& c : cases) {
        const std::string& needle = c.needle;
        for (std::size_t length = needle.size(); length <= 150; ++length) {
            // A background of common bytes, with near misses at every needle's length.
            std::string background(length, ' ');
            for (std::size_t at = 0; at + needle.size() <= length; at += needle.size())
                background.replace(at, needle.size(),
                                   NearMiss(needle, (at / needle.size()) % needle.size()));
            const auto check = [&](const std::string& text, const char* what) {
                for (const std::size_t from : {std::size_t{0}, std::size_t{1}, std::size_t{31},
                                               std::size_t{63}, text.size() / 2}) {
                    if (from > text.size())
                        continue;
                    const std::size_t want = Expected(text, from, needle);
                    ASSERT_EQ(FindLiteral(text, from, needle), want)
                        << c.name << ", " << what << ", length " << length << ", from " << from;
                    for (const detail::SearchKind kind : kinds)
                        ASSERT_EQ(Searched(kind, text, from, needle), want)
                            << c.name << ", " << what << ", length " << length << ", from " << from
                            << ", kind " << static_cast<int>(kind);
                }
            };
            for (std::size_t at = 0; at + needle.size() <= length; ++at) {
                std::string text = background;
                text.replace(at, needle.size(), needle);
                check(text, "placed");
            }
            // The text ends inside a needle: every prefix of it, and nothing found there.
            for (std::size_t cut = 1; cut < needle.size(); ++cut) {
                std::string text = background;
                text.replace(length - cut, cut, needle.substr(0, cut));
                check(text, "cut off");
            }
        }
    }
}

// Where the compared bytes agree almost everywhere, the search gives up on the vector filter;
// the answer must stay the same, before the switch and after it.
TEST(FindLiteral, TextFullOfFalseCandidates) {
    const std::vector<detail::SearchKind> kinds = KindsThatRun();
    const struct {
        const char* name;
        std::string text;
        std::string needle;
        std::size_t from;
    } cases[] = {
        {"no candidate at all", std::string(5000, 'a'), "abba", 0},
        {"a candidate every 4 bytes, no match", Repeat("abbb", 1250), "abba", 0},
        {"a candidate every 4 bytes, match late", Repeat("abbb", 1080) + "abba" + Repeat("abbb", 5),
         "abba", 0},
        {"a candidate every 4 bytes, match early", "abba" + Repeat("abbb", 1250), "abba", 0},
        {"a candidate at every byte", std::string(5000, 'a'), "aaaa", 7},
        {"a zero byte is an ordinary byte", std::string(4999, 'a') + std::string(1, '\0'),
         std::string("a\0", 2), 0},
        {"control bytes everywhere", Repeat("\x01\x02", 2000) + "\x01\x01\x02", "\x01\x01\x02", 3},
    };
    for (const auto& c : cases) {
        const std::size_t want = Expected(c.text, c.from, c.needle);
        EXPECT_EQ(FindLiteral(c.text, c.from, c.needle), want) << c.name;
        for (const detail::SearchKind kind : kinds)
            EXPECT_EQ(Searched(kind, c.text, c.from, c.needle), want)
                << c.name << ", kind " << static_cast<int>(kind);
    }
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

#pragma once
// Fast byte and literal searches over raw text: vector compares where the processor has them,
// glibc's routines where they exist.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VELDRAN_HAS_SSE2 1
#endif

namespace veldran {

inline constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// Position of the last `byte` in text[0, length), or kNotFound.
inline std::size_t FindLastByte(const char* text, std::size_t length, char byte) {
#ifdef __GLIBC__
    const void* hit = memrchr(text, byte, length);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text) : kNotFound;
#else
    while (length > 0) {
        --length;
        if (text[length] == byte)
            return length;
    }
    return kNotFound;
#endif
}

// Position of the first `byte` in text[from, size), or kNotFound.
inline std::size_t FindByte(std::string_view text, std::size_t from, char byte) {
    if (from >= text.size())
        return kNotFound;
    const void* hit = std::memchr(text.data() + from, byte, text.size() - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : kNotFound;
}

// How many times `byte` occurs in `text`.
inline std::size_t CountByte(std::string_view text, char byte) {
    std::size_t count = 0;
    std::size_t i = 0;
#ifdef VELDRAN_HAS_SSE2
    // Each lane counts its hits in a byte (a compare gives -1 per hit), summed up before any
    // byte can overflow; no popcount, which not every x86-64 has.
    const __m128i wanted = _mm_set1_epi8(byte);
    while (i + 16 <= text.size()) {
        __m128i lanes = _mm_setzero_si128();
        for (int round = 0; round < 255 && i + 16 <= text.size(); ++round, i += 16) {
            const __m128i bytes =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, wanted));
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
                 static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    return count + static_cast<std::size_t>(
                       std::count(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(), byte));
}

namespace detail {

// The library's search, for the cases the vector search leaves to it.
inline const char* LibrarySearch(const char* text, std::size_t size, std::string_view needle) {
#ifdef __GLIBC__
    return static_cast<const char*>(memmem(text, size, needle.data(), needle.size()));
#else
    const std::size_t at = std::string_view(text, size).find(needle);
    return at == std::string_view::npos ? nullptr : text + at;
#endif
}

// The two positions of a needle of 2 or more bytes whose bytes are rarest in typical text: the
// vector search compares those first, so that few places need the whole needle compared. The
// two bytes differ where the needle has two different bytes.
struct RarePair {
    std::size_t first;
    std::size_t second;
};
RarePair RarestPair(std::string_view needle);

// The ways a needle of 2 or more bytes can be searched for, widest first. The search takes the
// first that the processor runs; the tests hold each one to the same answers.
enum class SearchKind { Avx2, Sse2, Library };
bool Runs(SearchKind kind);
// Leftmost needle (2 or more bytes) in text[0, size), size >= needle's size, or nullptr.
const char* SearchWith(SearchKind kind, const char* text, std::size_t size,
                       std::string_view needle);
const char* VectorSearch(const char* text, std::size_t size, std::string_view needle,
                         RarePair pair);

} // namespace detail

// A find text made ready once for many searches: which of its bytes the vector filter compares.
// Holds a view of the needle, which must outlive it.
class LiteralFinder {
public:
    explicit LiteralFinder(std::string_view needle)
        : m_needle(needle),
          m_pair(needle.size() >= 2 ? detail::RarestPair(needle) : detail::RarePair{0, 0}) {}

    // Leftmost occurrence of the (non-empty) needle in text[from, size), or kNotFound.
    std::size_t Find(std::string_view text, std::size_t from) const {
        if (from > text.size() || text.size() - from < m_needle.size())
            return kNotFound;
        const char* const start = text.data() + from;
        const std::size_t size = text.size() - from;
        const char* const hit =
            m_needle.size() == 1
                ? static_cast<const char*>(std::memchr(start, m_needle.front(), size))
                : detail::VectorSearch(start, size, m_needle, m_pair);
        return hit ? static_cast<std::size_t>(hit - text.data()) : kNotFound;
    }

private:
    std::string_view m_needle;
    detail::RarePair m_pair;
};

// Leftmost occurrence of a non-empty needle in text[from, size), or kNotFound.
inline std::size_t FindLiteral(std::string_view text, std::size_t from, std::string_view needle) {
    return LiteralFinder(needle).Find(text, from);
}

// End of the run of whole lines that starts at `pos`: each ends with a newline before `limit`
// and is at most `maxLength` long, its newline included; `pos` itself when the first line is not
// such a line. Lets a caller skip over ordinary short lines without handling each one.
// `maxLength` must be greater than 64 and below 128.
inline std::size_t ShortLinesEnd(std::string_view text, std::size_t pos, std::size_t limit,
                                 std::size_t maxLength) {
    std::size_t lineStart = pos;
#ifdef VELDRAN_HAS_SSE2
    std::size_t i = pos;
    // Two newlines within one 64-byte block are never further apart than maxLength, so only the
    // first newline of each block needs its distance checked.
    const __m128i newline = _mm_set1_epi8('\n');
    const auto mask16 = [&](std::size_t at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + at));
        return static_cast<std::uint64_t>(
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline))));
    };
    for (; i + 64 <= limit; i += 64) {
        const std::uint64_t mask =
            mask16(i) | mask16(i + 16) << 16 | mask16(i + 32) << 32 | mask16(i + 48) << 48;
        if (mask == 0) {
            if (i + 64 - lineStart >= maxLength)
                return lineStart;
            continue;
        }
        if (i + static_cast<std::size_t>(std::countr_zero(mask)) + 1 - lineStart > maxLength)
            return lineStart;
        lineStart = i + 64 - static_cast<std::size_t>(std::countl_zero(mask));
    }
#endif
    for (;;) {
        const std::size_t window = std::min(limit - lineStart, maxLength);
        const void* nl = std::memchr(text.data() + lineStart, '\n', window);
        if (nl == nullptr)
            return lineStart;
        lineStart = static_cast<std::size_t>(static_cast<const char*>(nl) - text.data()) + 1;
    }
}

} // namespace veldran

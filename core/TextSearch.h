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

#ifdef VELDRAN_HAS_SSE2
// Compares the needle's first and last bytes at 32 positions at once and checks the rest only
// where both agree: several times faster than memmem on text where such pairs are rare. Text
// that keeps producing false candidates goes to the library's search, which stays linear.
inline const char* VectorSearch(const char* text, std::size_t size, std::string_view needle) {
    const std::size_t m = needle.size(); // 2 or more, and size >= m
    const __m128i first = _mm_set1_epi8(needle.front());
    const __m128i last = _mm_set1_epi8(needle.back());
    const std::size_t starts = size - m + 1;
    std::size_t misses = 0;
    std::size_t i = 0;
    const auto pairs = [&](std::size_t at) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + m - 1));
        return static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    };
    for (; i + 32 <= starts; i += 32) {
        for (unsigned mask = pairs(i) | pairs(i + 16) << 16; mask != 0; mask &= mask - 1) {
            const char* at = text + i + std::countr_zero(mask);
            if (std::memcmp(at + 1, needle.data() + 1, m - 2) == 0)
                return at;
            if (++misses > 64 && misses > i / 16)
                return LibrarySearch(at + 1, size - (at + 1 - text), needle);
        }
    }
    return LibrarySearch(text + i, size - i, needle);
}
#endif

} // namespace detail

// Leftmost occurrence of a non-empty needle in text[from, size), or kNotFound.
inline std::size_t FindLiteral(std::string_view text, std::size_t from, std::string_view needle) {
    if (from > text.size() || text.size() - from < needle.size())
        return kNotFound;
    const char* const start = text.data() + from;
    const std::size_t size = text.size() - from;
    const char* hit;
    if (needle.size() == 1)
        hit = static_cast<const char*>(std::memchr(start, needle.front(), size));
#ifdef VELDRAN_HAS_SSE2
    else
        hit = detail::VectorSearch(start, size, needle);
#else
    else
        hit = detail::LibrarySearch(start, size, needle);
#endif
    return hit ? static_cast<std::size_t>(hit - text.data()) : kNotFound;
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

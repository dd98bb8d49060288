#include "TextSearch.h"

#include <array>
#include <tuple>

#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
// 32 bytes a compare where the processor has them, chosen once at run time.
#define VELDRAN_HAS_AVX2 1
#endif

namespace veldran::detail {

namespace {

// Each byte's rank by how often it occurs in typical text, 0 for the rarest and 255 for the
// most common: example decks, prose and C++ in equal parts, counted by bench/byte_ranks.py
// (which says what it read). Only the order matters; it picks the bytes a search compares first.
constexpr std::array<std::uint8_t, 256> kByteRank = {
    0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   242, 10,  11,  12,  13,  14,  15,  16,  17,
    18,  19,  20,  21,  22,  23,  24,  25,  26,  27,  28,  29,  30,  255, 173, 189, 176, 164, 162,
    188, 180, 209, 208, 186, 175, 252, 223, 235, 197, 249, 237, 230, 215, 206, 195, 213, 165, 202,
    174, 214, 203, 179, 245, 177, 167, 157, 243, 207, 210, 218, 233, 231, 196, 238, 226, 166, 211,
    222, 225, 217, 228, 229, 168, 232, 220, 241, 181, 178, 185, 198, 191, 192, 170, 190, 169, 158,
    200, 205, 250, 204, 234, 240, 254, 227, 212, 236, 248, 172, 194, 239, 219, 251, 244, 224, 171,
    246, 247, 253, 221, 201, 216, 193, 199, 184, 182, 187, 183, 163, 31,  32,  33,  34,  35,  36,
    37,  159, 38,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,  160, 49,  50,  51,  52,  53,
    54,  55,  56,  57,  58,  59,  60,  61,  62,  63,  64,  65,  66,  67,  68,  69,  70,  71,  72,
    73,  74,  75,  76,  77,  78,  79,  80,  81,  82,  83,  84,  85,  86,  87,  88,  89,  90,  91,
    92,  93,  94,  95,  96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110,
    111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 124, 125, 126, 127, 161, 128,
    129, 130, 131, 132, 133, 134, 135, 136, 137, 138, 139, 140, 141, 142, 143, 144, 145, 146, 147,
    148, 149, 150, 151, 152, 153, 154, 155, 156,
};

std::uint8_t Rank(char byte) {
    return kByteRank[static_cast<unsigned char>(byte)];
}

// Text where the compared pair keeps matching elsewhere than at the needle is handed to the
// library's search, which stays linear: after more than 64 false candidates, and more than one
// per 16 positions searched.
bool TooManyMisses(std::size_t misses, std::size_t searched) {
    return misses > 64 && misses > searched / 16;
}

#ifdef VELDRAN_HAS_SSE2
const char* Sse2Search(const char* text, std::size_t size, std::string_view needle, RarePair pair) {
    const std::size_t m = needle.size();
    const __m128i first = _mm_set1_epi8(needle[pair.first]);
    const __m128i second = _mm_set1_epi8(needle[pair.second]);
    const std::size_t starts = size - m + 1;
    std::size_t misses = 0;
    std::size_t i = 0;
    const auto pairs = [&](std::size_t at) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + pair.first));
        const __m128i b =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at + pair.second));
        return static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second))));
    };
    for (; i + 32 <= starts; i += 32) {
        for (unsigned mask = pairs(i) | pairs(i + 16) << 16; mask != 0; mask &= mask - 1) {
            const char* at = text + i + std::countr_zero(mask);
            if (std::memcmp(at, needle.data(), m) == 0)
                return at;
            if (TooManyMisses(++misses, i))
                return LibrarySearch(at + 1, size - static_cast<std::size_t>(at + 1 - text),
                                     needle);
        }
    }
    return LibrarySearch(text + i, size - i, needle);
}
#endif

#ifdef VELDRAN_HAS_AVX2
// The same search, 64 positions a round: two 32-byte compares of each of the pair's bytes,
// whose masks are taken only in the rare round that has a candidate.
__attribute__((target("avx2"))) const char* Avx2Search(const char* text, std::size_t size,
                                                       std::string_view needle, RarePair pair) {
    const std::size_t m = needle.size();
    const __m256i first = _mm256_set1_epi8(needle[pair.first]);
    const __m256i second = _mm256_set1_epi8(needle[pair.second]);
    const std::size_t starts = size - m + 1;
    std::size_t misses = 0;
    std::size_t i = 0;
    for (; i + 64 <= starts; i += 64) {
        const char* const base = text + i;
        const __m256i low = _mm256_and_si256(
            _mm256_cmpeq_epi8(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + pair.first)), first),
            _mm256_cmpeq_epi8(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + pair.second)), second));
        const __m256i high = _mm256_and_si256(
            _mm256_cmpeq_epi8(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + 32 + pair.first)),
                first),
            _mm256_cmpeq_epi8(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + 32 + pair.second)),
                second));
        const __m256i any = _mm256_or_si256(low, high);
        if (_mm256_testz_si256(any, any))
            continue;
        std::uint64_t mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
                             std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))}
                                 << 32;
        for (; mask != 0; mask &= mask - 1) {
            const char* at = base + std::countr_zero(mask);
            if (std::memcmp(at, needle.data(), m) == 0)
                return at;
            if (TooManyMisses(++misses, i))
                return LibrarySearch(at + 1, size - static_cast<std::size_t>(at + 1 - text),
                                     needle);
        }
    }
    return LibrarySearch(text + i, size - i, needle);
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}
#endif

} // namespace

RarePair RarestPair(std::string_view needle) {
    std::size_t first = 0;
    for (std::size_t i = 1; i < needle.size(); ++i)
        if (Rank(needle[i]) < Rank(needle[first]))
            first = i;
    // The second is the rarest of the others, preferring a byte that is not the first's
    // neighbour (neighbours go together in words and codes, so a text that has the one often
    // has the other beside it: "5J" in every S355J2), then one that differs from the first's
    // (the same byte twice tells little more than once).
    const auto preference = [&](std::size_t i) {
        const bool apart = (i > first ? i - first : first - i) > 1;
        const bool differs = needle[i] != needle[first];
        return std::tuple{!apart, !differs, Rank(needle[i])};
    };
    std::size_t second = first == 0 ? 1 : 0;
    for (std::size_t i = 0; i < needle.size(); ++i)
        if (i != first && preference(i) < preference(second))
            second = i;
    return {first, second};
}

bool Runs(SearchKind kind) {
#ifdef VELDRAN_HAS_AVX2
    if (kind == SearchKind::Avx2)
        return HasAvx2();
#endif
#ifdef VELDRAN_HAS_SSE2
    if (kind == SearchKind::Sse2)
        return true;
#endif
    return kind == SearchKind::Library;
}

const char* SearchWith(SearchKind kind, const char* text, std::size_t size,
                       std::string_view needle) {
#ifdef VELDRAN_HAS_AVX2
    if (kind == SearchKind::Avx2)
        return Avx2Search(text, size, needle, RarestPair(needle));
#endif
#ifdef VELDRAN_HAS_SSE2
    if (kind == SearchKind::Sse2)
        return Sse2Search(text, size, needle, RarestPair(needle));
#endif
    return LibrarySearch(text, size, needle);
}

namespace {

SearchKind Widest() {
#ifdef VELDRAN_HAS_AVX2
    if (HasAvx2())
        return SearchKind::Avx2;
#endif
#ifdef VELDRAN_HAS_SSE2
    return SearchKind::Sse2;
#else
    return SearchKind::Library;
#endif
}

} // namespace

const char* VectorSearch(const char* text, std::size_t size, std::string_view needle,
                         RarePair pair) {
    static const SearchKind widest = Widest();
#ifdef VELDRAN_HAS_AVX2
    if (widest == SearchKind::Avx2)
        return Avx2Search(text, size, needle, pair);
#endif
#ifdef VELDRAN_HAS_SSE2
    if (widest == SearchKind::Sse2)
        return Sse2Search(text, size, needle, pair);
#endif
    (void)pair;
    return LibrarySearch(text, size, needle);
}

} // namespace veldran::detail

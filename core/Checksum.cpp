#include "Checksum.h"

#include <cstring>

namespace veldran {

namespace {

constexpr std::uint64_t kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t kPrime2 = 0xC2B2AE3D27D4EB4FULL;

constexpr std::uint64_t RotateLeft(std::uint64_t x, int bits) {
    return (x << bits) | (x >> (64 - bits));
}

// Spreads every bit of the input over the whole word, so that a change of one byte changes
// about half of the result's bits.
constexpr std::uint64_t Avalanche(std::uint64_t x) {
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDULL;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ULL;
    x ^= x >> 33;
    return x;
}

std::uint64_t Load(const char* p) {
    std::uint64_t word = 0;
    std::memcpy(&word, p, sizeof word);
    return word;
}

} // namespace

std::uint64_t ContentChecksum(std::string_view bytes) {
    // Four independent lanes of eight bytes each keep the multiplier busy on long files.
    std::uint64_t lanes[4] = {kPrime1 + kPrime2, kPrime2, 0, 0 - kPrime1};
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    for (; left >= 32; p += 32, left -= 32)
        for (std::size_t i = 0; i < 4; ++i)
            lanes[i] = RotateLeft(lanes[i] + Load(p + 8 * i) * kPrime2, 31) * kPrime1;
    std::uint64_t h = static_cast<std::uint64_t>(bytes.size()) * kPrime1;
    for (std::size_t i = 0; i < 4; ++i)
        h = RotateLeft(h ^ Avalanche(lanes[i]), 27) * kPrime1 + kPrime2;
    for (; left >= 8; p += 8, left -= 8)
        h = RotateLeft(h ^ Avalanche(Load(p)), 27) * kPrime1 + kPrime2;
    std::uint64_t tail = 0;
    std::memcpy(&tail, p, left);
    h = RotateLeft(h ^ Avalanche(tail ^ (static_cast<std::uint64_t>(left) << 56)), 27) * kPrime1;
    return Avalanche(h);
}

} // namespace veldran

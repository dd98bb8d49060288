#pragma once
// Fast byte and literal searches over raw text; glibc's vectorised routines where they exist.

#include <cstddef>
#include <cstring>
#include <string_view>

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

// Leftmost occurrence of a non-empty needle in text[from, size), or kNotFound.
inline std::size_t FindLiteral(std::string_view text, std::size_t from, std::string_view needle) {
    if (from > text.size() || text.size() - from < needle.size())
        return kNotFound;
#ifdef __GLIBC__
    const void* hit = memmem(text.data() + from, text.size() - from, needle.data(), needle.size());
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : kNotFound;
#else
    const std::size_t at = text.find(needle, from);
    return at == std::string_view::npos ? kNotFound : at;
#endif
}

} // namespace veldran

#pragma once
// What differs between Windows, the tool's home, and the POSIX systems it is built and tested on.

namespace veldran {

#ifdef _WIN32
inline constexpr bool kIsWindows = true;
inline constexpr char kDirSeparator = '\\';
#else
inline constexpr bool kIsWindows = false;
inline constexpr char kDirSeparator = '/';
#endif

} // namespace veldran

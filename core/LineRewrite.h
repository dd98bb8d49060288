#pragma once
// Rewriting of one line (one piece of a scheme file): literal replacement, then the wrap rule.

#include <cstddef>
#include <string>
#include <string_view>

namespace veldran {

inline constexpr std::size_t kWrapThreshold = 72; // wrapped when longer than this
inline constexpr std::size_t kWrapWindow = 70;    // the comma is searched in these first chars
inline constexpr std::string_view kContinuation = "\n     ";

// Replaces every non-overlapping occurrence of find, left to right; inserted text is never
// searched again. An empty find text matches nothing. Returns the number of replacements.
int ReplaceAll(std::string& line, std::string_view find, std::string_view replace);

// Breaks a line longer than the threshold once, after the last comma of the search window,
// or before its first character when the window holds no comma.
void WrapLongLine(std::string& line);

// WrapLongLine for the line that occupies text[start, end of text): lets the file rewrite wrap
// in its output buffer without copying the piece out.
void WrapTail(std::string& text, std::size_t start);

} // namespace veldran

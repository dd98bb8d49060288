#pragma once
// What a rewrite would change in one file, as a unified diff that `patch -p0` applies.

#include <string>
#include <string_view>

namespace veldran {

// The unified diff that turns `oldBytes` into `newBytes`, or the empty text when they are equal:
// "--- PATH" and "+++ PATH" with the path as given (followed by a tab when it holds a blank, so
// that patch reads the whole name), hunks with three lines of context, and
// "\ No newline at end of file" after a last line without one. A line ends at "\n" only, so a CR
// stays part of its line, as do zero bytes.
std::string UnifiedDiff(std::string_view path, std::string_view oldBytes,
                        std::string_view newBytes);

} // namespace veldran

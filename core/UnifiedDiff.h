#pragma once
// What a rewrite would change in one file, as a unified diff that `patch -p0` applies.

#include <string>
#include <string_view>

namespace veldran {

// A path as the diff's headers name it. As given, unless a byte in it could end the header line,
// end the name early or make patch read the name as quoted: a control byte (LF, CR, tab, zero,
// ... DEL) or a double quote. Then in double quotes, with C escapes ("\n", "\t", "\"", "\\",
// "\001", ...), as patch and git read them. Bytes from 0x80 on stay as they are: names are often
// not UTF-8, and no such byte ends a line. A backslash alone keeps the name plain, so Windows
// paths read as typed.
std::string DiffName(std::string_view path);

// The unified diff that turns `oldBytes` into `newBytes`, or the empty text when they are equal:
// "--- PATH" and "+++ PATH" with the path's DiffName (followed by a tab when an unquoted name
// holds a blank, so that patch reads the whole name), hunks with three lines of context, and
// "\ No newline at end of file" after a last line without one. A line ends at "\n" only, so a CR
// stays part of its line, as do zero bytes.
std::string UnifiedDiff(std::string_view path, std::string_view oldBytes,
                        std::string_view newBytes);

} // namespace veldran

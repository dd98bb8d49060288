#pragma once
// The read-only search of Find Only: does some piece of a file contain the find text?

#include <string>
#include <string_view>

namespace veldran {

enum class FindResult { NotFound, Found, Error };

// Streams the file through a fixed buffer, so memory does not grow with the file, and stops at
// the first match. On Error, `error` holds the reason.
FindResult FileContains(const std::string& path, std::string_view find, std::string& error);

} // namespace veldran

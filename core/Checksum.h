#pragma once
// A 64-bit checksum of a file's bytes: what tells one content from another where sizes and time
// stamps are the same.

#include <cstdint>
#include <string_view>

namespace veldran {

std::uint64_t ContentChecksum(std::string_view bytes);

} // namespace veldran

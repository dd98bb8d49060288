#pragma once
// Cuts a fuzzer's bytes into the parts a target needs. The layout is plain so that seeds can be
// written by hand (make_seeds.py): a flags byte, then each text led by its length as two bytes
// (little-endian, cut to what is left), then the rest of the input as the last text.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace veldran::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : m_rest(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t Byte() {
        if (m_rest.empty())
            return 0;
        const auto byte = static_cast<std::uint8_t>(m_rest.front());
        m_rest.remove_prefix(1);
        return byte;
    }

    std::string_view Text() {
        std::size_t length = Byte();
        length |= static_cast<std::size_t>(Byte()) << 8;
        if (length > m_rest.size())
            length = m_rest.size();
        const std::string_view text = m_rest.substr(0, length);
        m_rest.remove_prefix(length);
        return text;
    }

    std::string_view Rest() const { return m_rest; }

private:
    std::string_view m_rest;
};

} // namespace veldran::fuzz

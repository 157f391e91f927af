#include "tag/id3v2_extent.h"

#include <cstdint>

namespace id3 {

std::optional<std::size_t> id3v2TagSize(std::string_view header) {
    if (header.size() < kId3v2HeaderSize || !header.starts_with("ID3")) {
        return std::nullopt;
    }
    const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(header[at]); };
    const std::uint8_t version = byte(3);
    constexpr std::uint8_t kUnknownRevision = 0xFF;
    if (version < 2 || version > 4 || byte(4) == kUnknownRevision) {
        return std::nullopt;
    }
    // Each of the four size bytes holds 7 bits, so that the header never looks like the start
    // of an MPEG frame.
    std::size_t size = 0;
    for (std::size_t at = 6; at < kId3v2HeaderSize; ++at) {
        if (byte(at) >= 0x80) {
            return std::nullopt;
        }
        size = size << 7 | byte(at);
    }
    constexpr std::uint8_t kFooterFlag = 0x10;
    const bool hasFooter = version == 4 && (byte(5) & kFooterFlag) != 0;
    return kId3v2HeaderSize + size + (hasFooter ? kId3v2HeaderSize : 0);
}

}  // namespace id3

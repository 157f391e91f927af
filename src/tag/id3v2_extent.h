#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace id3 {

// An ID3v2 tag's header: "ID3", version, revision, flags and the syncsafe size of what follows.
inline constexpr std::size_t kId3v2HeaderSize = 10;

// How many bytes the ID3v2 tag takes that begins with `header`, the first 10 bytes of a file:
// the header, the frames and padding its size counts, and the 10-byte footer that a version
// 2.4 tag may end with. Nothing when they begin no tag of version 2.2, 2.3 or 2.4, or
// `header` is shorter than 10 bytes.
std::optional<std::size_t> id3v2TagSize(std::string_view header);

// Why an ID3v2 tag is not saved whose size runs past the end of the file's audio.
inline constexpr std::string_view kTagRunsPastEnd =
    "the ID3v2 tag's size runs past the end of the file";

}  // namespace id3

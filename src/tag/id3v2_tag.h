#pragma once

#include <QString>

#include <optional>
#include <string_view>

#include "tag/id3v2_extent.h"

namespace id3 {

// What an ID3v2 tag names that other players show of a file.
struct Id3v2Fields {
    int version = 0;  // 2, 3 or 4, for ID3v2.2, 2.3 and 2.4
    QString title{};
    QString artist{};
    QString album{};

    friend bool operator==(const Id3v2Fields&, const Id3v2Fields&) = default;
};

// The fields of the ID3v2 tag that `tagBytes` holds (whole, or as much of it as a short file
// holds), each from its first frame as TagLib reads it; nothing when they begin no ID3v2 tag.
// Only the frames of these fields are read.
std::optional<Id3v2Fields> parseId3v2(std::string_view tagBytes);

}  // namespace id3

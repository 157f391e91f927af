#pragma once

#include <cstddef>
#include <optional>

#include "tag/tag_record.h"

namespace id3 {

// The trailer a window showed of a file when it was clicked: none when it showed none, also
// when the file could not be read.
struct ShownTrailer {
    std::optional<TagRecord::Bytes> bytes;
};

// A tag as the user edited it: the record built from the window's fields ("TAG" and the genre
// code included), how many bytes the comment had before it was cut to its width, and the
// trailer the edit began from. A save refuses a file whose trailer is not that one: its fields
// were never shown for editing, and writing the boxes over them would lose them. Without
// `shown`, the file's trailer is not compared.
struct EditedTag {
    TagRecord record;
    std::size_t commentLength = layoutOf(TagField::Comment).width;
    std::optional<ShownTrailer> shown = std::nullopt;
};

// The 128 bytes a save writes, given the trailer the file holds at that moment (none when it
// has none). Other tag tools store what the window cannot show, and a save keeps it:
// - a track number (comment byte 28 is 0, byte 29 is not) stays when the comment has at most
//   28 characters; a longer comment is written whole;
// - a genre byte with no list entry (35-255) stays when no genre is chosen (code 0).
TagRecord::Bytes savedTrailer(const EditedTag& edited, const std::optional<TagRecord>& inFile);

}  // namespace id3

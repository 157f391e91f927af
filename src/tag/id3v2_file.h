#pragma once

#include <optional>
#include <string>

#include "core/file_path.h"
#include "tag/id3v2_tag.h"

namespace id3 {

// What a regular file tells of the ID3v2 tag it begins with (nothing of a file that cannot be
// read). Reads only the tag's bytes, never the audio behind them, and neither creates, changes
// nor blocks on a file.

// Whether the open file begins with an ID3v2 tag, from the tag's 10-byte header alone.
bool beginsWithId3v2Tag(int fd);

// The whole tag: its header and then as many bytes as it counts (as many as the file holds);
// nothing when the file begins with no ID3v2 tag.
std::optional<std::string> readId3v2Tag(const core::FilePath& path);

// The tag's fields, from the whole tag; nothing when the file begins with no ID3v2 tag.
std::optional<Id3v2Fields> readId3v2Fields(const core::FilePath& path);

}  // namespace id3

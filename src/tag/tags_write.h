#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "storage/system_calls.h"
#include "tag/saved_trailer.h"
#include "tag/trailer_file.h"

namespace id3 {

// Given the ID3v2 tag the file begins with at the moment of saving, all its bytes (header,
// frames, padding and any footer), the tag to put in its place; nothing to leave it as it is.
// An empty update leaves every ID3v2 tag as it is.
using Id3v2Update = std::function<std::optional<std::string>(std::string_view tagInFile)>;

struct TagsWrite {
    enum class Id3v2 {
        None,       // the file begins with no ID3v2 tag, and the update was not asked
        Unchanged,  // the update left it as it was
        Saved,      // on disk
        NotSaved,   // `id3v2Reason` says why
    };
    TrailerWrite trailer;
    Id3v2 id3v2 = Id3v2::None;
    std::string id3v2Reason;
    bool rewritten = false;  // the file was rewritten through a new file to make room
};

// Saves the trailer of `edited` (see writeTrailer) and, when the file at `path` begins with an
// ID3v2 tag of version 2.2, 2.3 or 2.4, the tag that `id3v2` makes of it. The audio and the
// trailer stay byte for byte as they were until both tags are on disk, and a kill or power
// loss at any moment leaves each tag wholly old or wholly new (after the next click):
// - a new ID3v2 tag of the old one's size goes in place in one write, in one journaled write
//   (write_journal.h) with the trailer;
// - one of another size, or one too large for the journal, goes in a rewrite of the whole
//   file through a new file in the same folder (file_rewrite.h), with the trailer;
// - when that cannot be done (the file has other hard links, which a new file would break
//   apart; the new file could not keep the owner or an attribute; the disk is full, fails, or
//   the folder may not be written), the ID3v2 tag is left as it was and the trailer saved in
//   place, and the result says why.
// A failure changes nothing else. Follows links and refuses what is no regular file as
// writeTrailer does; completes a save of the file that was cut short before anything else.
TagsWrite writeTags(const core::FilePath& path, const EditedTag& edited, const Id3v2Update& id3v2,
                    const storage::SystemCalls& calls = {});

}  // namespace id3

#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace id3 {

// What a save puts into a file's ID3v2 tag: for each field the user changed, its new text (an
// empty text takes the field out of the tag); a field without a value keeps what the tag holds.
struct Id3v2Changes {
    std::optional<QString> title{};
    std::optional<QString> artist{};
    std::optional<QString> album{};
    std::optional<QString> year{};
    std::optional<QString> comment{};
    std::optional<QString> genre{};

    bool any() const { return title || artist || album || year || comment || genre; }

    friend bool operator==(const Id3v2Changes&, const Id3v2Changes&) = default;
};

struct UpdatedId3v2 {
    std::optional<std::string> tag;  // the whole tag to write in the old one's place
    std::string whyLeft;             // why a tag that was to change is left as it was
};

// The ID3v2 tag `tagInFile` (all its bytes, header to footer) with `changes` made, or nothing
// when it stays as it is: no change to make, or one it cannot take (`whyLeft` says why).
// - Title, artist, album and genre go into TIT2, TPE1, TALB and TCON; the year into TYER in a
//   version 2.3 tag and TDRC in a 2.4 tag; the comment into the comment frame without a
//   description (the one other players show), in that frame's language, else a new one in
//   English. A changed field's old frames give way to one new frame in the first one's place.
// - Every other frame is kept byte for byte, in its order, also one that TagLib cannot read
//   (see id3v2Frames), but for a frame of no content; so is the version. TagLib renders the
//   new frames and the header, without the extended header and footer, as it writes tags.
// - The new tag takes exactly the old one's size when it fits there, so that it can be written
//   in place; a larger one gets 1,024 bytes of padding, as TagLib gives, for later edits.
// - A version 2.2 tag is left, since TagLib cannot write that version; so is a tag whose size
//   runs past `tagInFile`, a damaged one, and one that holds bytes where no frame's place can
//   be known, since those would be lost.
UpdatedId3v2 updatedId3v2(std::string_view tagInFile, const Id3v2Changes& changes);

}  // namespace id3

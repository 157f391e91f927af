#pragma once

#include <taglib/id3v2header.h>
#include <taglib/tbytevector.h>

#include <string_view>
#include <vector>

namespace id3 {

// The bytes of a whole ID3v2 tag that follow its header and hold its extended header, frames
// and padding, with the unsynchronisation of a version 2.3 tag undone (a 2.4 tag is
// unsynchronised frame by frame). Of a tag cut short, what there is.
TagLib::ByteVector id3v2FrameArea(std::string_view tagBytes, const TagLib::ID3v2::Header& header);

// One frame of a frame area.
struct Id3v2Frame {
    std::string_view id;
    std::string_view bytes;         // header and content
    TagLib::ByteVector fromHereOn;  // what TagLib's frame factory reads the frame from
    bool empty = false;             // its header counts no content
};

struct Id3v2FrameList {
    std::vector<Id3v2Frame> frames;
    bool wholeRead = false;  // nothing but zero bytes (padding) follows the last frame
};

// The frames of `area` (as id3v2FrameArea gives it, and which they point into), found as the
// standard places them: after the extended header, one after another, each sized as TagLib
// sizes it, until the padding or the first bytes whose size runs past the tag, after which no
// frame's place can be known. A frame that TagLib would take for none (an ID of other
// characters, such as iTunes' "TSA ", or no content) still counts where its size ends at the
// padding or at the next frame's ID, as other readers take it. A header that says an extended
// header follows where a frame's ID stands has none. TagLib's own reading takes the size of a
// version 2.3 extended header as if it were 2.4, stops at the first frame it would take for
// none, and stops 10 bytes short of the end of a tag with a footer.
Id3v2FrameList id3v2Frames(const TagLib::ByteVector& area, const TagLib::ID3v2::Header& header);

}  // namespace id3

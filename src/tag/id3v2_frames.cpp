#include "tag/id3v2_frames.h"

#include <taglib/id3v2frame.h>
#include <taglib/id3v2synchdata.h>

#include <algorithm>

#include "tag/id3v2_tag.h"

namespace id3 {

namespace {

// TagLib keeps its reader of frame headers for its frames; through it, frames are sized here
// exactly as TagLib's own reading sizes them.
class TagLibFrame : public TagLib::ID3v2::Frame {
public:
    using TagLib::ID3v2::Frame::Header;
};

// A frame ID is three (version 2.2) or four upper-case letters and digits.
bool isFrameId(std::string_view id) {
    return std::all_of(id.begin(), id.end(),
                       [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

std::size_t extendedHeaderSize(const TagLib::ByteVector& area, unsigned int version) {
    const TagLib::ByteVector size = area.mid(0, 4);
    return version == 4 ? TagLib::ID3v2::SynchData::toUInt(size) : size.size() + size.toUInt();
}

// Whether a frame may begin at `at`: the frame area's end, its padding or a frame's ID.
bool frameMayBeginAt(std::string_view bytes, std::size_t at, std::size_t idSize) {
    return at >= bytes.size() || bytes[at] == 0 || isFrameId(bytes.substr(at, idSize));
}

}  // namespace

TagLib::ByteVector id3v2FrameArea(std::string_view tagBytes, const TagLib::ID3v2::Header& header) {
    const std::string_view after = tagBytes.substr(std::min(kId3v2HeaderSize, tagBytes.size()));
    const TagLib::ByteVector area(after.data(), static_cast<unsigned int>(std::min<std::size_t>(
                                                    after.size(), header.tagSize())));
    return header.unsynchronisation() && header.majorVersion() <= 3
               ? TagLib::ID3v2::SynchData::decode(area)
               : area;
}

Id3v2FrameList id3v2Frames(const TagLib::ByteVector& area, const TagLib::ID3v2::Header& header) {
    const unsigned int version = header.majorVersion();
    const std::size_t headerSize = version == 2 ? 6 : 10;  // ID, size and (from 2.3 on) flags
    const std::size_t idSize = version == 2 ? 3 : 4;
    const std::string_view bytes(area.data(), area.size());
    Id3v2FrameList found;
    std::size_t position = header.extendedHeader() && !isFrameId(bytes.substr(0, idSize))
                               ? extendedHeaderSize(area, version)
                               : 0;
    if (position > bytes.size()) {
        return found;
    }
    while (position + headerSize < bytes.size() && bytes[position] != 0) {
        TagLib::ByteVector fromHereOn = area.mid(static_cast<unsigned int>(position));
        const TagLibFrame::Header frameHeader(fromHereOn, version);
        const std::size_t contentSize = frameHeader.frameSize();
        const std::size_t least = frameHeader.dataLengthIndicator() ? 4 : 0;
        const std::string_view id = bytes.substr(position, idSize);
        const std::size_t end = position + headerSize + contentSize;
        if (end > bytes.size() ||
            ((!isFrameId(id) || contentSize <= least) && !frameMayBeginAt(bytes, end, idSize))) {
            return found;
        }
        found.frames.push_back({id, bytes.substr(position, headerSize + contentSize),
                                std::move(fromHereOn), contentSize == 0});
        position = end;
    }
    found.wholeRead = bytes.find_first_not_of('\0', position) == std::string_view::npos;
    return found;
}

}  // namespace id3

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
    const std::string_view bytes(area.data(), area.size());
    Id3v2FrameList found;
    std::size_t position = header.extendedHeader() ? extendedHeaderSize(area, version) : 0;
    if (position > bytes.size()) {
        return found;
    }
    while (position + headerSize < bytes.size() && bytes[position] != 0) {
        TagLib::ByteVector fromHereOn = area.mid(static_cast<unsigned int>(position));
        const TagLibFrame::Header frameHeader(fromHereOn, version);
        const std::size_t contentSize = frameHeader.frameSize();
        const std::size_t least = frameHeader.dataLengthIndicator() ? 4 : 0;
        const std::string_view id = bytes.substr(position, version == 2 ? 3 : 4);
        if (!isFrameId(id) || contentSize <= least ||
            position + headerSize + contentSize > bytes.size()) {
            return found;
        }
        found.frames.push_back(
            {id, bytes.substr(position, headerSize + contentSize), std::move(fromHereOn)});
        position += headerSize + contentSize;
    }
    found.wholeRead = bytes.find_first_not_of('\0', position) == std::string_view::npos;
    return found;
}

}  // namespace id3

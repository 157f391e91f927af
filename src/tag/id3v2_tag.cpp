#include "tag/id3v2_tag.h"

#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>

#include <array>
#include <memory>

#include "tag/id3v2_frames.h"

namespace id3 {

namespace {

QString fromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true));
}

}  // namespace

std::optional<Id3v2Fields> parseId3v2(std::string_view tagBytes) {
    if (!id3v2TagSize(tagBytes)) {
        return std::nullopt;
    }
    const TagLib::ID3v2::Header header(TagLib::ByteVector(tagBytes.data(), kId3v2HeaderSize));
    Id3v2Fields fields{.version = static_cast<int>(header.majorVersion())};
    const bool version2 = fields.version == 2;
    const std::array<std::pair<std::string_view, QString*>, 3> wanted = {{
        {version2 ? "TT2" : "TIT2", &fields.title},
        {version2 ? "TP1" : "TPE1", &fields.artist},
        {version2 ? "TAL" : "TALB", &fields.album},
    }};
    std::array<bool, wanted.size()> found{};

    const TagLib::ByteVector area = id3v2FrameArea(tagBytes, header);
    for (const Id3v2Frame& frame : id3v2Frames(area, header).frames) {
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            if (frame.id != wanted[i].first || found[i]) {
                continue;
            }
            const std::unique_ptr<TagLib::ID3v2::Frame> read(
                TagLib::ID3v2::FrameFactory::instance()->createFrame(frame.fromHereOn, &header));
            if (read) {
                *wanted[i].second = fromTagLib(read->toString());
                found[i] = true;
            }
        }
    }
    return fields;
}

}  // namespace id3

#include "tag/id3v2_tag.h"

#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>

#include <array>
#include <memory>

#include "tag/id3v2_frames.h"

namespace tag {

namespace {

constexpr unsigned char kFirstSyncsafeBit = 0x80;

QString fromTagLib(const TagLib::String& text) {
    return QString::fromStdString(text.to8Bit(true));
}

}  // namespace

std::optional<std::size_t> id3v2TagSize(std::string_view firstBytes) {
    if (firstBytes.size() < kId3v2HeaderSize || !firstBytes.starts_with("ID3")) {
        return std::nullopt;
    }
    const auto byte = [&](std::size_t index) {
        return static_cast<unsigned char>(firstBytes[index]);
    };
    const unsigned char version = byte(3);
    if (version < 2 || version > 4 || byte(4) == 0xFF) {
        return std::nullopt;
    }
    for (std::size_t i = 6; i < kId3v2HeaderSize; ++i) {
        if ((byte(i) & kFirstSyncsafeBit) != 0) {
            return std::nullopt;
        }
    }
    const TagLib::ID3v2::Header header(TagLib::ByteVector(firstBytes.data(), kId3v2HeaderSize));
    return header.completeTagSize();
}

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

}  // namespace tag

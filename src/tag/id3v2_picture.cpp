#include "tag/id3v2_picture.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>

#include <memory>

#include "tag/id3v2_extent.h"
#include "tag/id3v2_frames.h"

namespace id3 {

QByteArray coverPicture(std::string_view tagBytes) {
    if (!id3v2TagSize(tagBytes)) {
        return {};
    }
    const TagLib::ID3v2::Header header(TagLib::ByteVector(tagBytes.data(), kId3v2HeaderSize));
    const std::string_view pictureId = header.majorVersion() == 2 ? "PIC" : "APIC";
    QByteArray first;
    const TagLib::ByteVector area = id3v2FrameArea(tagBytes, header);
    for (const Id3v2Frame& frame : id3v2Frames(area, header).frames) {
        if (frame.id != pictureId) {
            continue;
        }
        const std::unique_ptr<TagLib::ID3v2::Frame> read(
            TagLib::ID3v2::FrameFactory::instance()->createFrame(frame.fromHereOn, &header));
        const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(read.get());
        if (picture == nullptr) {
            continue;
        }
        const TagLib::ByteVector data = picture->picture();
        QByteArray bytes(data.data(), static_cast<qsizetype>(data.size()));
        if (picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover) {
            return bytes;
        }
        if (first.isEmpty()) {
            first = std::move(bytes);
        }
    }
    return first;
}

}  // namespace id3

#include "support/id3v2_tags.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2synchdata.h>
#include <taglib/id3v2tag.h>

namespace test_tags {

namespace {

QByteArray fromTagLib(const TagLib::ByteVector& bytes) {
    return {bytes.data(), static_cast<qsizetype>(bytes.size())};
}

QByteArray syncsafe(qsizetype value) {
    return fromTagLib(TagLib::ID3v2::SynchData::fromUInt(static_cast<unsigned int>(value)));
}

}  // namespace

QByteArray tagByTagLib(int version, const std::function<void(TagLib::ID3v2::Tag&)>& fill) {
    TagLib::ID3v2::Tag made;
    fill(made);
    return fromTagLib(made.render(version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4));
}

QByteArray framesByTagLib(int version, const std::function<void(TagLib::ID3v2::Tag&)>& fill) {
    const QByteArray rendered = tagByTagLib(version, fill);
    constexpr int kHeader = 10;
    constexpr int kPadding = 1024;  // TagLib's, for a tag of no file
    return rendered.mid(kHeader, rendered.size() - kHeader - kPadding);
}

void fillTag(TagLib::ID3v2::Tag& tag, const QString& title, int commentSize, int pictureSize) {
    tag.setTitle(TagLib::String(title.toStdString(), TagLib::String::UTF8));
    tag.setArtist("Artist");
    if (commentSize > 0) {
        tag.setComment(std::string(static_cast<std::size_t>(commentSize), 'c'));
    }
    if (pictureSize > 0) {
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setMimeType("image/jpeg");
        picture->setPicture(TagLib::ByteVector(static_cast<unsigned>(pictureSize), '\x5a'));
        tag.addFrame(picture);
    }
}

QByteArray renderedTag(int version, const QString& title, int commentSize, int pictureSize) {
    return tagByTagLib(
        version, [&](TagLib::ID3v2::Tag& tag) { fillTag(tag, title, commentSize, pictureSize); });
}

QByteArray frame(int version, const QByteArray& id, const QByteArray& content) {
    const QByteArray size =
        version == 4
            ? syncsafe(content.size())
            : fromTagLib(TagLib::ByteVector::fromUInt(static_cast<unsigned int>(content.size())));
    return version == 2 ? id + size.right(3) + content : id + size + QByteArray(2, '\0') + content;
}

QByteArray latin1Text(const QByteArray& text) {
    return '\0' + text;
}

QByteArray pictureFrame(int version, char type, const QByteArray& picture) {
    const QByteArray format = version == 2 ? QByteArray("PNG") : QByteArray("image/png\0", 10);
    return frame(version, version == 2 ? "PIC" : "APIC",
                 '\0' + format + type + QByteArray("a picture\0", 10) + picture);
}

QByteArray tag(int version, const QByteArray& frames, int padding, char flags) {
    const QByteArray body = frames + QByteArray(padding, '\0');
    const QByteArray rest =
        QByteArray(1, static_cast<char>(version)) + '\0' + flags + syncsafe(body.size());
    return "ID3" + rest + body + ((flags & 0x10) != 0 ? "3DI" + rest : QByteArray());
}

QByteArray handmadeTag(int version, const std::vector<std::pair<QByteArray, QByteArray>>& frames,
                       int padding, bool footer) {
    QByteArray body;
    for (const auto& [id, text] : frames) {
        body += frame(version, id, latin1Text(text));
    }
    return tag(version, body, padding, footer ? '\x10' : '\0');
}

QByteArray unsynchronised(const QByteArray& bytes) {
    QByteArray out;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        out += bytes[i];
        const auto next = i + 1 < bytes.size() ? static_cast<quint8>(bytes[i + 1]) : 1;
        if (static_cast<quint8>(bytes[i]) == 0xFF && (next == 0 || next >= 0xE0)) {
            out += '\0';
        }
    }
    return out;
}

}  // namespace test_tags

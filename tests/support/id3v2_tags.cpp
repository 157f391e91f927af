#include "support/id3v2_tags.h"

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

QByteArray framesByTagLib(int version, const std::function<void(TagLib::ID3v2::Tag&)>& fill) {
    TagLib::ID3v2::Tag made;
    fill(made);
    const QByteArray rendered =
        fromTagLib(made.render(version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4));
    constexpr int kHeader = 10;
    constexpr int kPadding = 1024;  // TagLib's, for a tag of no file
    return rendered.mid(kHeader, rendered.size() - kHeader - kPadding);
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

QByteArray tag(int version, const QByteArray& frames, int padding, char flags) {
    const QByteArray body = frames + QByteArray(padding, '\0');
    const QByteArray rest =
        QByteArray(1, static_cast<char>(version)) + '\0' + flags + syncsafe(body.size());
    return "ID3" + rest + body + ((flags & 0x10) != 0 ? "3DI" + rest : QByteArray());
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

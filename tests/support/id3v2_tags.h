#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

namespace TagLib::ID3v2 {
class Tag;
}

// ID3v2 tags for tests: as TagLib renders them, and by hand what TagLib does not write
// (version 2.2, footers, unsynchronisation).
namespace test_tags {

// A tag of `version` (3 or 4) as TagLib renders the tag that `fill` makes, padded as TagLib
// pads a new tag; and its frames alone.
QByteArray tagByTagLib(int version, const std::function<void(TagLib::ID3v2::Tag&)>& fill);
QByteArray framesByTagLib(int version, const std::function<void(TagLib::ID3v2::Tag&)>& fill);

// Such a tag holding the title, an artist, a comment of `commentSize` characters and a JPEG
// picture of `pictureSize` bytes.
QByteArray renderedTag(int version, const QString& title, int commentSize = 0, int pictureSize = 0);
void fillTag(TagLib::ID3v2::Tag& tag, const QString& title, int commentSize, int pictureSize);

// One frame without flags in a tag of `version` 2, 3 or 4; a text frame's content in Latin-1.
QByteArray frame(int version, const QByteArray& id, const QByteArray& content);
QByteArray latin1Text(const QByteArray& text);
// A picture frame (APIC, PIC in version 2) of the picture type `type` (3: the front cover)
// holding `picture`, said to be a PNG image.
QByteArray pictureFrame(int version, char type, const QByteArray& picture);

// A whole tag: the header with `flags`, the frames, `padding` zero bytes and, when the flags
// say so (0x10), the footer.
QByteArray tag(int version, const QByteArray& frames, int padding, char flags = 0);

// A tag of Latin-1 text frames given as frame ID and text, with a footer when `footer` is set.
QByteArray handmadeTag(int version, const std::vector<std::pair<QByteArray, QByteArray>>& frames,
                       int padding, bool footer = false);

// A zero byte put after every 0xFF that a zero or a byte of 0xE0 or more follows.
QByteArray unsynchronised(const QByteArray& bytes);

}  // namespace test_tags

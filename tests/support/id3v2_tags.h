#pragma once

#include <QByteArray>

#include <functional>

namespace TagLib::ID3v2 {
class Tag;
}

// ID3v2 tags for tests: frames that TagLib renders, and the bytes of what TagLib does not
// write (version 2.2, footers, unsynchronisation) put together here.
namespace test_tags {

// The frames, in version 3 or 4, of the tag that `fill` makes.
QByteArray framesByTagLib(int version, const std::function<void(TagLib::ID3v2::Tag&)>& fill);

// One frame without flags in a tag of `version` 2, 3 or 4; a text frame's content in Latin-1.
QByteArray frame(int version, const QByteArray& id, const QByteArray& content);
QByteArray latin1Text(const QByteArray& text);

// A whole tag: the header with `flags`, the frames, `padding` zero bytes and, when the flags
// say so (0x10), the footer.
QByteArray tag(int version, const QByteArray& frames, int padding, char flags = 0);

// A zero byte put after every 0xFF that a zero or a byte of 0xE0 or more follows.
QByteArray unsynchronised(const QByteArray& bytes);

}  // namespace test_tags

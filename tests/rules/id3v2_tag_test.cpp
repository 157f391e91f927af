#include <gtest/gtest.h>

#include <optional>

#include "support/id3v2_tags.h"
#include "tag/id3v2_tag.h"

namespace {

using test_tags::frame;
using test_tags::latin1Text;

TEST(Id3v2Tag, ReadsTheFirstTitleArtistAndAlbumOfEachVersion) {
    const QByteArray v23 = frame(3, "TIT2", latin1Text("Title")) +
                           frame(3, "TPE1", latin1Text("Artist")) +
                           frame(3, "TALB", latin1Text("Album"));
    const QByteArray longTitle(200, 't');
    const struct {
        QByteArray bytes;
        std::optional<id3::Id3v2Fields> fields;
    } cases[] = {
        {test_tags::tag(
             2, frame(2, "TT2", latin1Text("Caf\xE9")) + frame(2, "TT2", latin1Text("x")), 1),
         id3::Id3v2Fields{2, QStringLiteral("Café"), {}, {}}},
        {test_tags::tag(3, v23, 0).chopped(2), id3::Id3v2Fields{3, "Title", "Artist", {}}},
        {test_tags::tag(4, v23, 0, '\x10'), id3::Id3v2Fields{4, "Title", "Artist", "Album"}},
        // iTunes writes the frame sizes of version 2.3 into 2.4 tags.
        {test_tags::tag(4, frame(3, "TIT2", latin1Text(longTitle)) + v23.mid(16), 10),
         id3::Id3v2Fields{4, QString::fromLatin1(longTitle), "Artist", "Album"}},
        {QByteArray("ID3\x05\0\0\0\0\0\x10", 10) + QByteArray(16, '\0'), std::nullopt},
    };
    for (const auto& read : cases) {
        EXPECT_EQ(id3::parseId3v2(read.bytes.toStdString()), read.fields)
            << read.bytes.toHex().toStdString();
    }
    EXPECT_EQ(id3::id3v2TagSize(test_tags::tag(4, v23, 0, '\x10').toStdString()), v23.size() + 20);
}

}  // namespace

#include <gtest/gtest.h>

#include "tag/shown_fields.h"

namespace {

TEST(Id3v2Changes, AreTheFieldsChangedSinceTheClickWithTheGenreByName) {
    const tag::ShownFields atClick{"Title", "Artist", "Album", "1999", "Comment", 0};
    tag::ShownFields atSave = atClick;
    EXPECT_FALSE(tag::id3v2Changes(atClick, atSave).any());
    atSave.title = QStringLiteral("Title, now longer than the thirty characters of the trailer");
    atSave.album.clear();
    atSave.genrePosition = 7;
    EXPECT_EQ(tag::id3v2Changes(atClick, atSave),
              (tag::Id3v2Changes{.title = atSave.title, .album = QString(), .genre = "Hip -Hop"}));
    atSave.genrePosition = -1;
    EXPECT_EQ(tag::id3v2Changes(atClick, atSave).genre, QString());
}

}  // namespace

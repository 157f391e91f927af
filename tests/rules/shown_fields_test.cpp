#include <gtest/gtest.h>

#include "tag/shown_fields.h"

namespace {

TEST(Id3v2Changes, AreTheFieldsChangedSinceTheClickWithTheGenreByName) {
    const id3::ShownFields atClick{"Title", "Artist", "Album", "1999", "Comment", 0};
    id3::ShownFields atSave = atClick;
    EXPECT_FALSE(id3::id3v2Changes(atClick, atSave).any());
    atSave.title = QStringLiteral("Title, now longer than the thirty characters of the trailer");
    atSave.album.clear();
    atSave.genrePosition = 7;
    EXPECT_EQ(id3::id3v2Changes(atClick, atSave),
              (id3::Id3v2Changes{.title = atSave.title, .album = QString(), .genre = "Hip -Hop"}));
    atSave.genrePosition = -1;
    EXPECT_EQ(id3::id3v2Changes(atClick, atSave).genre, QString());
}

}  // namespace

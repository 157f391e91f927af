#include <gtest/gtest.h>

#include "app/shown_fields.h"

namespace {

TEST(Id3v2Changes, AreTheFieldsChangedSinceTheClickWithTheGenreByName) {
    const ShownFields atClick{"Title", "Artist", "Album", "1999", "Comment", 0};
    ShownFields atSave = atClick;
    EXPECT_FALSE(id3v2Changes(atClick, atSave).any());
    atSave.title = QStringLiteral("Title, now longer than the thirty characters of the trailer");
    atSave.album.clear();
    atSave.genrePosition = 7;
    EXPECT_EQ(id3v2Changes(atClick, atSave),
              (id3::Id3v2Changes{.title = atSave.title, .album = QString(), .genre = "Hip -Hop"}));
    atSave.genrePosition = -1;
    EXPECT_EQ(id3v2Changes(atClick, atSave).genre, QString());
}

}  // namespace

#include <gtest/gtest.h>

#include "tag/genre_table.h"

namespace {

TEST(GenreTable, KeepsTheProgramsNamesAndOrder) {
    ASSERT_EQ(id3::kGenreNames.size(), 34U);
    EXPECT_EQ(id3::kGenreNames.front(), "Blues");
    EXPECT_EQ(id3::kGenreNames[7], "Hip -Hop");
    EXPECT_EQ(id3::kGenreNames[14], "R&b");
    EXPECT_EQ(id3::kGenreNames[25], "Euro -Techno");
    EXPECT_EQ(id3::kGenreNames[27], "Trip -Hop");
    EXPECT_EQ(id3::kGenreNames[29], "Jazz Funk");
    EXPECT_EQ(id3::kGenreNames[31], "Trance");
    EXPECT_EQ(id3::kGenreNames.back(), "Instrumental");
}

TEST(GenreTable, CodeIsPositionPlusOneAndZeroForNone) {
    const std::vector<std::pair<int, int>> positionToCode = {
        {-1, 0}, {0, 1}, {31, 32}, {32, 33}, {33, 34}};
    for (const auto& [position, code] : positionToCode) {
        EXPECT_EQ(id3::genreCodeFromPosition(position), code) << position;
    }
}

TEST(GenreTable, PositionFromCodeSelectsNothingForZeroAndUnlistedCodes) {
    const std::vector<std::pair<int, int>> codeToPosition = {
        {0, -1}, {1, 0}, {32, 31}, {34, 33}, {35, -1}, {200, -1}, {255, -1}};
    for (const auto& [code, position] : codeToPosition) {
        EXPECT_EQ(id3::genrePositionFromCode(static_cast<std::uint8_t>(code)), position) << code;
    }
}

TEST(GenreTable, EveryPositionComesBackFromItsCode) {
    for (int position = -1; position < static_cast<int>(id3::kGenreNames.size()); ++position) {
        EXPECT_EQ(id3::genrePositionFromCode(id3::genreCodeFromPosition(position)), position);
    }
}

}  // namespace

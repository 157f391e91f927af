#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tag/saved_trailer.h"

namespace {

using id3::TagField;
using id3::TagRecord;

struct SavedTrailerCase {
    const char* what;
    std::optional<std::string> oldComment;  // none: the file has no trailer
    std::uint8_t oldGenre;
    std::string comment;  // as typed
    std::uint8_t chosenGenre;
    std::string savedComment;
    std::uint8_t savedGenre;
};

TEST(SavedTrailer, KeepsTheTrackAndTheUnlistedGenreThatOtherToolsStored) {
    const std::string track("\0\x07", 2);
    const std::string tracked = std::string(28, 'c') + track;
    const std::string padded = "New" + std::string(27, ' ');
    const std::string paddedAndTracked = padded.substr(0, 28) + track;
    const std::vector<SavedTrailerCase> cases = {
        {"short comment keeps the track", tracked, 147, "New", 0, paddedAndTracked, 147},
        {"28 characters keep it", tracked, 255, std::string(28, 'n'), 0,
         std::string(28, 'n') + track, 255},
        {"29 characters are written whole", tracked, 35, std::string(29, 'n'), 0,
         std::string(29, 'n') + ' ', 35},
        {"30 characters are written whole", tracked, 0, std::string(30, 'n'), 0,
         std::string(30, 'n'), 0},
        {"a zero track is no track", std::string(28, 'c') + std::string(2, '\0'), 0, "New", 0,
         padded, 0},
        {"a track needs the zero before it", std::string(29, 'c') + '\x07', 0, "New", 0, padded, 0},
        {"a chosen genre wins", tracked, 147, "New", 1, paddedAndTracked, 1},
        {"a listed genre is unchosen, so it goes", std::string(30, ' '), 5, "New", 0, padded, 0},
        {"no trailer in the file", std::nullopt, 0, "New", 0, padded, 0},
    };
    for (const SavedTrailerCase& c : cases) {
        std::optional<TagRecord> inFile;
        if (c.oldComment) {
            inFile.emplace();
            inFile->store(TagField::Tag, "TAG");
            inFile->store(TagField::Title, "Old");
            inFile->store(TagField::Comment, *c.oldComment);
            inFile->store(TagField::Genre, std::string(1, static_cast<char>(c.oldGenre)));
        }
        id3::EditedTag edited{{}, c.comment.size()};
        edited.record.store(TagField::Tag, "TAG");
        edited.record.store(TagField::Title, "Title");
        edited.record.store(TagField::Comment, c.comment);
        edited.record.store(TagField::Genre, std::string(1, static_cast<char>(c.chosenGenre)));

        TagRecord expected = edited.record;
        expected.store(TagField::Comment, c.savedComment);
        expected.store(TagField::Genre, std::string(1, static_cast<char>(c.savedGenre)));
        EXPECT_EQ(id3::savedTrailer(edited, inFile), expected.encode()) << c.what;
    }
}

}  // namespace

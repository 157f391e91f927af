#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <ostream>

#include "support/id3v2_tags.h"
#include "support/temp_files.h"
#include "tag/track_description.h"

namespace id3 {
void PrintTo(const TrackDescription& track, std::ostream* out) {
    *out << '"' << track.title.toStdString() << "\" by \"" << track.artist.toStdString()
         << "\" on \"" << track.album.toStdString() << '"';
}
}  // namespace id3

namespace {

struct DescriptionCase {
    const char* what;
    QByteArray content;
    id3::TrackDescription expected;
};

void PrintTo(const DescriptionCase& file, std::ostream* out) {
    *out << file.what;
}

class TrackDescription : public testing::TestWithParam<DescriptionCase> {};

TEST_P(TrackDescription, ShowsTheTagAsTheWindowDoesAndTheNameForAMissingTitle) {
    const QTemporaryDir folder;
    // Named in Latin-1, as files copied from older systems are: the title shows it readably.
    const core::FilePath file =
        test_files::inFolder(test_files::pathOf(folder.path()), core::FilePath("Song \xe9.mp3"));
    test_files::writeAll(file, GetParam().content);
    EXPECT_EQ(id3::describeTrack(file), GetParam().expected);
    test_files::removeTree(file);
}

const QByteArray kAudio = test_files::audioBytes(400);

QByteArray id3v2(const QByteArray& title, const QByteArray& artist) {
    using test_tags::frame;
    using test_tags::latin1Text;
    return test_tags::tag(
        3, frame(3, "TIT2", latin1Text(title)) + frame(3, "TPE1", latin1Text(artist)), 100);
}

INSTANTIATE_TEST_SUITE_P(
    Files, TrackDescription,
    testing::Values(
        DescriptionCase{"no tag", kAudio, {QStringLiteral("Song \xe9.mp3"), {}, {}}},
        DescriptionCase{
            "a whole tag, padded with spaces",
            kAudio + test_files::trailer("Title" + QByteArray(25, ' '),
                                         QByteArray("Artist \xe9").leftJustified(30, ' '), "Album"),
            {QStringLiteral("Title"), QStringLiteral("Artist \xe9"), QStringLiteral("Album")}},
        DescriptionCase{"text after a NUL is not shown",
                        kAudio + test_files::trailer(QByteArray("Shown\0hidden", 12)),
                        {QStringLiteral("Shown"), {}, {}}},
        DescriptionCase{"a tag without a title",
                        kAudio + test_files::trailer(QByteArray(30, ' '), "Artist"),
                        {QStringLiteral("Song \xe9.mp3"), QStringLiteral("Artist"), {}}},
        DescriptionCase{"a lower-case mark is no tag",
                        kAudio + test_files::trailer("Title").replace(0, 3, "tag"),
                        {QStringLiteral("Song \xe9.mp3"), {}, {}}},
        DescriptionCase{"an ID3v2 tag only",
                        id3v2("Title \xe9", "Artist") + kAudio,
                        {QStringLiteral("Title \xe9"), QStringLiteral("Artist"), {}}},
        DescriptionCase{
            "each field of an ID3v2 tag before the trailer's",
            id3v2("Title", {}) + kAudio + test_files::trailer("Old", "Artist", "Album"),
            {QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Album")}},
        DescriptionCase{"an ID3v2 tag without a title",
                        id3v2({}, "Artist") + kAudio,
                        {QStringLiteral("Song \xe9.mp3"), QStringLiteral("Artist"), {}}}),
    [](const testing::TestParamInfo<DescriptionCase>& info) {
        std::string name = info.param.what;
        std::replace_if(
            name.begin(), name.end(),
            [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; }, '_');
        return name;
    });

}  // namespace

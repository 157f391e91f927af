#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <QTemporaryDir>

#include <ostream>

#include "desktop/track_description.h"
#include "storage/write_journal.h"
#include "support/id3v2_tags.h"
#include "support/temp_files.h"

namespace desktop {
void PrintTo(const TrackDescription& track, std::ostream* out) {
    *out << '"' << track.title.toStdString() << "\" by \"" << track.artist.toStdString()
         << "\" on \"" << track.album.toStdString() << "\", cover of " << track.cover.size()
         << " bytes";
}
}  // namespace desktop

namespace {

QByteArray id3v2(const QByteArray& title, const QByteArray& artist) {
    using test_tags::frame;
    using test_tags::latin1Text;
    return test_tags::tag(
        3, frame(3, "TIT2", latin1Text(title)) + frame(3, "TPE1", latin1Text(artist)), 100);
}

TEST(TrackDescription, ShowsTheTagAsTheWindowDoesAndTheNameForAMissingTitle) {
    using test_tags::pictureFrame;
    const QByteArray audio = test_files::audioBytes(400);
    // Every byte value, the zero among them, as a picture holds them.
    QByteArray frontCover;
    for (int i = 0; i < 512; ++i) {
        frontCover += static_cast<char>(i);
    }
    const QString name = QStringLiteral("Song \xe9.mp3");
    const struct {
        const char* what;
        QByteArray content;
        desktop::TrackDescription expected;
    } cases[] = {
        {"no tag", audio, {name, {}, {}}},
        {"a whole tag, padded with spaces",
         audio + test_files::trailer("Title" + QByteArray(25, ' '),
                                     QByteArray("Artist \xe9").leftJustified(30, ' '), "Album"),
         {QStringLiteral("Title"), QStringLiteral("Artist \xe9"), QStringLiteral("Album")}},
        {"text after a NUL is not shown",
         audio + test_files::trailer(QByteArray("Shown\0hidden", 12)),
         {QStringLiteral("Shown"), {}, {}}},
        {"a tag without a title",
         audio + test_files::trailer(QByteArray(30, ' '), "Artist"),
         {name, QStringLiteral("Artist"), {}}},
        {"a lower-case mark is no tag",
         audio + test_files::trailer("Title").replace(0, 3, "tag"),
         {name, {}, {}}},
        {"an ID3v2 tag only",
         id3v2("Title \xe9", "Artist") + audio,
         {QStringLiteral("Title \xe9"), QStringLiteral("Artist"), {}}},
        {"each field of an ID3v2 tag before the trailer's",
         id3v2("Title", {}) + audio + test_files::trailer("Old", "Artist", "Album"),
         {QStringLiteral("Title"), QStringLiteral("Artist"), QStringLiteral("Album")}},
        {"an ID3v2 tag without a title",
         id3v2({}, "Artist") + audio,
         {name, QStringLiteral("Artist"), {}}},
        {"the front cover before a picture ahead of it",
         test_tags::tag(3, pictureFrame(3, 0x04, "back") + pictureFrame(3, 0x03, frontCover), 0) +
             audio,
         {name, {}, {}, frontCover}},
        {"the first picture where none is the front cover",
         test_tags::tag(4, pictureFrame(4, 0x00, "first") + pictureFrame(4, 0x08, "second"), 0) +
             audio,
         {name, {}, {}, "first"}},
        {"a version 2.2 tag's picture",
         test_tags::tag(2, pictureFrame(2, 0x03, "old"), 0) + audio,
         {name, {}, {}, "old"}},
        {"a picture in the trailer's place is none",
         audio + pictureFrame(3, 0x03, "x"),
         {name, {}, {}}},
    };
    const QTemporaryDir folder;
    // Named in Latin-1, as files copied from older systems are: the title shows it readably.
    const core::FilePath file =
        test_files::inFolder(test_files::pathOf(folder.path()), core::FilePath("Song \xe9.mp3"));
    for (const auto& c : cases) {
        test_files::writeAll(file, c.content);
        EXPECT_EQ(desktop::describeTrack(file), c.expected) << c.what;
    }

    // Only looked at, a file whose save a kill cut short stays as it is, its record with it.
    const QByteArray before = test_files::trailer("Before");
    const QByteArray after = test_files::trailer("After!");
    const QByteArray torn = audio + after.left(6) + before.mid(6);
    test_files::writeAll(file, torn);
    struct stat status {};
    ::stat(file.c_str(), &status);
    const std::string record = storage::encodeRecord(
        {storage::identityOf(status), {528, {{400, before.toStdString(), after.toStdString()}}}});
    ASSERT_EQ(::setxattr(file.c_str(), storage::kJournalAttribute, record.data(), record.size(), 0),
              0);
    EXPECT_EQ(desktop::describeTrack(file).title, QStringLiteral("Aftore"));
    EXPECT_EQ(test_files::readAll(file), torn);
    EXPECT_GE(::getxattr(file.c_str(), storage::kJournalAttribute, nullptr, 0), 0);
    test_files::removeTree(file);
}

}  // namespace

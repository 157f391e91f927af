#include <gtest/gtest.h>
#include <taglib/apetag.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/mpegfile.h>

#include <QFile>
#include <QTemporaryDir>

#include "support/temp_files.h"
#include "tag/genre_table.h"
#include "tag/tags_write.h"

namespace {

// TagLib, which nobody here wrote, reads what this program writes to a file TagLib tagged. A
// track number and a genre that this program's list lacks survive a save that changes only the
// title, as the window makes it: the comment box is empty and no genre is chosen. TagLib
// numbers the genres from 0, so it reads every genre one entry lower than this program does.
TEST(TagLibReadsOurTrailer, KeepingTheTrackAndGenreItStoredAndTheGenreOneLower) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song.mp3"));
    ASSERT_TRUE(QFile::copy(test_files::testDataFile(QStringLiteral("cbr.mp3")), path));
    {
        TagLib::MPEG::File file(QFile::encodeName(path).constData());
        TagLib::ID3v1::Tag* written = file.ID3v1Tag(true);
        written->setTitle("Old title");
        written->setTrack(9);
        written->setGenreNumber(147);
        ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v1));
    }
    id3::TagRecord titled;
    titled.store(id3::TagField::Tag, "TAG");
    titled.store(id3::TagField::Title, "New title");
    titled.store(id3::TagField::Comment, "");
    titled.store(id3::TagField::Genre, std::string(1, '\0'));
    ASSERT_TRUE(id3::writeTags(test_files::pathOf(path), {titled, 0}, nullptr).trailer.saved);
    {
        TagLib::MPEG::File file(QFile::encodeName(path).constData());
        TagLib::ID3v1::Tag* read = file.ID3v1Tag();
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->title().to8Bit(), "New title");
        EXPECT_EQ(read->track(), 9U);
        EXPECT_EQ(read->genreNumber(), 147U);
    }

    for (int position : {0, 12, 31, 33}) {  // Blues, Other, Trance, Instrumental
        id3::TagRecord record;
        record.store(id3::TagField::Tag, "TAG");
        record.store(id3::TagField::Title, "A title that is cut after thirty characters");
        record.store(id3::TagField::Artist, "The Artist");
        record.store(id3::TagField::Album, "Album");
        record.store(id3::TagField::Year, "1999");
        record.store(id3::TagField::Comment, "Nice");
        record.store(id3::TagField::Genre,
                     std::string(1, static_cast<char>(id3::genreCodeFromPosition(position))));
        ASSERT_TRUE(id3::writeTags(test_files::pathOf(path), {record}, nullptr).trailer.saved);

        TagLib::MPEG::File file(QFile::encodeName(path).constData());
        TagLib::ID3v1::Tag* read = file.ID3v1Tag();
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->title().to8Bit(), "A title that is cut after thir");
        EXPECT_EQ(read->artist().to8Bit(), "The Artist");
        EXPECT_EQ(read->album().to8Bit(), "Album");
        EXPECT_EQ(read->year(), 1999U);
        EXPECT_EQ(read->comment().stripWhiteSpace().to8Bit(), "Nice");

        const int ourCode = id3::genreCodeFromPosition(position);
        const TagLib::String ourName(
            std::string(id3::kGenreNames[static_cast<std::size_t>(position)]));
        EXPECT_EQ(static_cast<int>(read->genreNumber()), ourCode) << "the byte itself";
        EXPECT_EQ(TagLib::ID3v1::genreIndex(ourName), ourCode - 1) << ourName.to8Bit();
    }
}

// An APEv2 tag whose header starts 131 bytes from the end holds "TAG" where a trailer would
// be. TagLib takes it for no trailer; a save here appends one after it, and TagLib then reads
// both tags.
TEST(TagLibReadsOurTrailer, AfterAnApeTagThatStaysWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song.mp3"));
    const QByteArray apeTitle(53, 'a');
    const QByteArray before =
        test_files::readAll(test_files::testDataFile(QStringLiteral("cbr.mp3"))) +
        test_files::apeTag(apeTitle);
    test_files::writeAll(path, before);
    ASSERT_FALSE(TagLib::MPEG::File(QFile::encodeName(path).constData()).hasID3v1Tag());

    id3::TagRecord record;
    record.store(id3::TagField::Tag, "TAG");
    record.store(id3::TagField::Title, "After the APE tag");
    ASSERT_TRUE(id3::writeTags(test_files::pathOf(path), {record}, nullptr).trailer.saved);

    const QByteArray trailer(reinterpret_cast<const char*>(record.encode().data()),
                             id3::TagRecord::kSize);
    EXPECT_EQ(test_files::readAll(path), before + trailer);
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    ASSERT_TRUE(file.hasAPETag());
    ASSERT_TRUE(file.hasID3v1Tag());
    EXPECT_EQ(file.APETag()->title().to8Bit(), apeTitle.toStdString());
    EXPECT_EQ(file.ID3v1Tag()->title().to8Bit(), "After the APE tag");
}

}  // namespace

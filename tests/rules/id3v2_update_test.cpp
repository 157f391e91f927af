// The ID3v2 tag a file begins with: what is read of it, and the tag a save puts in its place,
// read back by TagLib in front of real audio.
#include <gtest/gtest.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/privateframe.h>
#include <taglib/relativevolumeframe.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unknownframe.h>
#include <taglib/unsynchronizedlyricsframe.h>

#include <QByteArrayList>

#include <ostream>

#include "app/shown_fields.h"
#include "support/id3v2_tags.h"
#include "support/temp_files.h"
#include "tag/id3v2_tag.h"
#include "tag/id3v2_update.h"

namespace {

using test_tags::frame;
using test_tags::framesByTagLib;
using test_tags::latin1Text;
using Frames = std::vector<std::string>;

void addFields(TagLib::ID3v2::Tag& tag) {
    tag.setTitle("Old title");
    tag.setArtist(TagLib::String("Старый исполнитель", TagLib::String::UTF8));
    tag.setAlbum("Old album");
    tag.setYear(1999);
    tag.setComment("Old comment");
    tag.setGenre("Rock");
}

// A picture (beginning like a JPEG, whose 0xFF bytes unsynchronisation guards), lyrics, a gain,
// a private frame and one that TagLib does not know; RVA2 only in version 2.4.
QByteArray otherFrames(int version, int pictureSize) {
    return framesByTagLib(version, [&](TagLib::ID3v2::Tag& tag) {
        auto* cover = new TagLib::ID3v2::AttachedPictureFrame;
        const QByteArray picture = "\xFF\xD8\xFF\xE0" + test_files::audioBytes(pictureSize);
        cover->setPicture({picture.constData(), static_cast<unsigned int>(picture.size())});
        tag.addFrame(cover);
        auto* lyrics = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF16);
        lyrics->setText("La la");
        tag.addFrame(lyrics);
        tag.addFrame(
            new TagLib::ID3v2::UserTextIdentificationFrame("REPLAYGAIN_TRACK_GAIN", {"-6.20 dB"}));
        auto* owned = new TagLib::ID3v2::PrivateFrame;
        owned->setData("\x01\x02\x03");
        tag.addFrame(owned);
        tag.addFrame(new TagLib::ID3v2::UnknownFrame({"XTST\0\0\0\x02\0\0\xDE\xAD", 12}));
        if (version == 4) {
            auto* gain = new TagLib::ID3v2::RelativeVolumeFrame;
            gain->setVolumeAdjustment(-6.2F);
            tag.addFrame(gain);
        }
    });
}

// TagLib's reading of a tag in front of audio: the version and fields a save may change, the
// other frames (rendered again) and the padding.
struct ReadBack {
    Frames fields;
    Frames others;
    int padding = 0;
};

ReadBack readBack(const QByteArray& id3v2) {
    static const QByteArray audio = test_files::mpegAudio();
    const QByteArray bytes = id3v2 + audio;
    TagLib::ByteVectorStream stream({bytes.constData(), static_cast<unsigned int>(bytes.size())});
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance());
    const TagLib::ID3v2::Tag* tag = file.ID3v2Tag();
    if (tag == nullptr || file.audioProperties()->lengthInSeconds() == 0) {
        ADD_FAILURE() << "TagLib finds no ID3v2 tag and audio";
        return {};
    }
    const TagLib::ID3v2::FrameList& year = tag->frameList("TDRC");
    ReadBack back{{std::to_string(tag->header()->majorVersion()), tag->title().to8Bit(true),
                   tag->artist().to8Bit(true), tag->album().to8Bit(true),
                   year.isEmpty() ? "" : year.front()->toString().to8Bit(true),
                   tag->comment().to8Bit(true), tag->genre().to8Bit(true)},
                  {},
                  static_cast<int>(tag->header()->tagSize())};
    const Frames kFields = {"TIT2", "TPE1", "TALB", "TDRC", "TCON"};
    for (const TagLib::ID3v2::Frame* each : tag->frameList()) {
        const std::string id(each->frameID().data(), 4);
        const bool plainComment = id == "COMM" && each->toString() == tag->comment();
        if (std::find(kFields.begin(), kFields.end(), id) == kFields.end() && !plainComment) {
            const TagLib::ByteVector hex = each->render().toHex();
            back.others.push_back(id + std::string(hex.data(), hex.size()));
        }
        back.padding -= static_cast<int>(10 + each->size());
    }
    return back;
}

struct UpdateCase {
    const char* what;
    QByteArray tag;
    id3::Id3v2Changes changes;
    QByteArrayList held;  // runs of bytes the new tag must hold as they are
    bool inPlace;         // the new tag takes the old one's size
};

void PrintTo(const UpdateCase& update, std::ostream* out) {
    *out << update.what;
}

class Id3v2Update : public testing::TestWithParam<UpdateCase> {};

TEST_P(Id3v2Update, SetsTheChangedFieldsAndKeepsEverythingElse) {
    const UpdateCase& update = GetParam();
    const ReadBack before = readBack(update.tag);
    Frames expected = before.fields;
    const std::optional<QString> id3::Id3v2Changes::*kChanges[] = {
        &id3::Id3v2Changes::title, &id3::Id3v2Changes::artist,  &id3::Id3v2Changes::album,
        &id3::Id3v2Changes::year,  &id3::Id3v2Changes::comment, &id3::Id3v2Changes::genre};
    for (std::size_t i = 0; i < std::size(kChanges); ++i) {
        if (const std::optional<QString>& change = update.changes.*kChanges[i]) {
            expected[i + 1] = change->toStdString();
        }
    }

    const id3::UpdatedId3v2 updated = id3::updatedId3v2(update.tag.toStdString(), update.changes);
    ASSERT_TRUE(updated.tag.has_value()) << updated.whyLeft;
    const QByteArray after = QByteArray::fromStdString(*updated.tag);
    const ReadBack back = readBack(after);
    EXPECT_EQ(back.fields, expected);
    EXPECT_EQ(back.others, before.others);
    for (const QByteArray& run : update.held) {
        EXPECT_TRUE(after.contains(run)) << "lost: " << run.left(20).toHex(' ').toStdString();
    }
    EXPECT_EQ(after.size() == update.tag.size(), update.inPlace);
    EXPECT_TRUE(update.inPlace || back.padding == 1024) << back.padding;
}

const id3::Id3v2Changes kNewTitle{.title = QStringLiteral("Группа крови — longer than thirty")};
const QByteArray kOthers3 = otherFrames(3, 2000);
const QByteArray kOthers4 = otherFrames(4, 2000);
QByteArray withFields(int version, const QByteArray& others) {
    return framesByTagLib(version, addFields) + others;
}
// TagLib drops these when it saves a version 2.3 tag itself.
const QByteArray kSortAndVolume =
    frame(3, "TSOP", latin1Text("Artist, The")) + frame(3, "RVAD", "\x03\x10\x7F\x01\x7F\x01");
const QByteArray kPicture = frame(
    4, "APIC", test_tags::unsynchronised({"\0image/jpeg\0\x03\0\xFF\xD8\xFF\xE0\xFF\0abc", 23}));
QByteArray flaggedUnsynchronised(QByteArray frame) {
    frame[9] = '\x02';
    return frame;
}
const QByteArray kTaggedComment = frame(3, "COMM", QByteArray("\0engiTunNORM\0 0000", 18));

INSTANTIATE_TEST_SUITE_P(
    Tags, Id3v2Update,
    testing::Values(
        UpdateCase{"v23_padded",
                   test_tags::tag(3, withFields(3, kOthers3), 1024),
                   {.title = kNewTitle.title, .comment = QStringLiteral("Kommentar ü")},
                   {kOthers3},
                   true},
        UpdateCase{"v24_every_field",
                   test_tags::tag(4, withFields(4, kOthers4), 1024),
                   {QStringLiteral("T"), QStringLiteral("Артист"), QStringLiteral("A"),
                    QStringLiteral("2024"), QStringLiteral("C"), QStringLiteral("Trance")},
                   {kOthers4},
                   true},
        UpdateCase{"v24_unpadded_grows",
                   test_tags::tag(4, withFields(4, kOthers4), 0),
                   kNewTitle,
                   {kOthers4},
                   false},
        UpdateCase{"v23_300_KB_picture",
                   test_tags::tag(3, withFields(3, otherFrames(3, 300'000)), 1024),
                   {.artist = QStringLiteral("New artist")},
                   {otherFrames(3, 300'000)},
                   true},
        UpdateCase{"v23_frames_TagLib_drops",
                   test_tags::tag(3, withFields(3, kSortAndVolume), 100),
                   kNewTitle,
                   {kSortAndVolume},
                   true},
        UpdateCase{
            "v23_unsynchronised",
            test_tags::tag(3, test_tags::unsynchronised(withFields(3, kOthers3)), 100, '\x80'),
            kNewTitle,
            {kOthers3},
            true},
        UpdateCase{"v24_unsynchronised_as_a_whole",
                   test_tags::tag(4, frame(4, "TIT2", latin1Text("Old")) + kPicture, 100, '\x80'),
                   kNewTitle,
                   {flaggedUnsynchronised(kPicture)},
                   true},
        // TagLib's own reading misses a small frame at the end of a tag with a footer.
        UpdateCase{
            "v24_footer_comment_taken_out",
            test_tags::tag(4,
                           withFields(4, kOthers4) + frame(4, "TPE2", latin1Text("Album artist")),
                           0, '\x10'),
            {.comment = QString()},
            {kOthers4},
            true},
        UpdateCase{"v23_plain_comment_in_its_language",
                   test_tags::tag(3, kTaggedComment + frame(3, "COMM", {"\0deu\0Alt", 8}), 100),
                   {.comment = QStringLiteral("Neu"), .genre = QStringLiteral("Hip -Hop")},
                   {kTaggedComment, frame(3, "COMM", {"\0deu\0Neu", 8}),
                    frame(3, "TCON", latin1Text("Hip -Hop"))},
                   true}),
    [](const testing::TestParamInfo<UpdateCase>& row) { return std::string(row.param.what); });

TEST(Id3v2Update, LeavesATagItCannotWriteOrNeedNotChange) {
    const QByteArray frames = framesByTagLib(3, addFields);
    const std::string titled =
        *id3::updatedId3v2(test_tags::tag(3, frames, 100).toStdString(), kNewTitle).tag;
    const struct {
        QByteArray tag;
        id3::Id3v2Changes changes;
        std::string why;
    } cases[] = {
        {test_tags::tag(3, frames, 100), {}, ""},
        {QByteArray::fromStdString(titled), kNewTitle, ""},
        {test_tags::tag(2, frame(2, "TT2", latin1Text("Old")), 100), kNewTitle,
         "an ID3v2.2 tag cannot be written"},
        {test_tags::tag(3, frames, 100).chopped(1), kNewTitle,
         "the ID3v2 tag's size runs past the end of the file"},
        {test_files::audioBytes(300), kNewTitle, "the ID3v2 tag is damaged"},
        {test_tags::tag(3, frames + "\x01junk", 100), kNewTitle,
         "the ID3v2 tag holds data that this program cannot keep"},
        {test_tags::tag(3, QByteArray("\0\0\x01\0", 4) + frames, 0, '\x40'), kNewTitle,
         "the ID3v2 tag holds data that this program cannot keep"},
    };
    for (const auto& left : cases) {
        const id3::UpdatedId3v2 updated = id3::updatedId3v2(left.tag.toStdString(), left.changes);
        EXPECT_FALSE(updated.tag.has_value()) << left.why;
        EXPECT_EQ(updated.whyLeft, left.why);
    }
}

// Tags that mutagen and TagLib read although one of their frames is odd, made as their own test
// files and iTunes' frame IDs padded with a space are: the frames that their sizes find keep
// their bytes, one of no content goes, and the title is saved.
TEST(Id3v2Update, SavesATagWhoseFramesTheirSizesFind) {
    const QByteArray title = frame(3, "TIT2", latin1Text("Old"));
    const QByteArray newTitle = frame(3, "TIT2", latin1Text("New"));
    const QByteArray album = frame(3, "TALB", latin1Text("Album"));
    const QByteArray sortAlbum = frame(3, "TSA ", latin1Text("Sort"));
    const struct {
        const char* what;
        QByteArray tag;
        QByteArray saved;
    } cases[] = {
        {"a frame of no content", test_tags::tag(3, title + frame(3, "TENC", {}) + album, 50),
         test_tags::tag(3, newTitle + album, 60)},
        {"a header that names an extended header the tag lacks",
         test_tags::tag(3, title + album, 50, '\x40'), test_tags::tag(3, newTitle + album, 50)},
        {"a frame ID with a space", test_tags::tag(3, title + sortAlbum + album, 50),
         test_tags::tag(3, newTitle + sortAlbum + album, 50)},
    };
    for (const auto& c : cases) {
        const id3::UpdatedId3v2 updated =
            id3::updatedId3v2(c.tag.toStdString(), {.title = QStringLiteral("New")});
        EXPECT_EQ(updated.tag, c.saved.toStdString()) << c.what << ": " << updated.whyLeft;
    }
}

// Its size counts itself in version 2.4 but not in 2.3 (which TagLib reads as if it were 2.4).
TEST(Id3v2Update, PassesOverAnExtendedHeaderAsItsVersionSizesIt) {
    for (const auto& [version, extended] : {std::pair{3, QByteArray("\0\0\0\x06\0\0\0\0\0\0", 10)},
                                            std::pair{4, QByteArray("\0\0\0\x06\x01\0", 6)}}) {
        const QByteArray frames = framesByTagLib(version, addFields);
        const QByteArray withHeader = test_tags::tag(version, extended + frames, 100, '\x40');
        const QByteArray plain = test_tags::tag(version, frames, 100 + extended.size());
        EXPECT_EQ(id3::updatedId3v2(withHeader.toStdString(), kNewTitle).tag,
                  id3::updatedId3v2(plain.toStdString(), kNewTitle).tag);
    }
}

}  // namespace

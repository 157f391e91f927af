#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <QTemporaryDir>

#include <string>
#include <vector>

#include "storage/write_journal.h"
#include "support/id3v2_tags.h"
#include "support/temp_files.h"
#include "tag/tags_write.h"
#include "tag/trailer_file.h"

namespace {

using Recovery = storage::JournalRecovery::Outcome;
using test_files::audioBytes;
using test_files::readAll;
using test_files::trailer;
using test_files::writeAll;

std::string bytes(const QByteArray& data) {
    return data.toStdString();
}

// How a row's record is made from its write.
enum class Made { AsTheWriterMakesIt, ForAnotherInode, WithAByteChanged, CutShort, Rubbish };

struct RecordCase {
    const char* what;
    QByteArray inFile;  // what the interrupted write, or whatever came after it, left
    storage::InPlaceWrite write;
    Recovery recovery;
    QByteArray afterClick;  // empty: as `inFile`
    Made made = Made::AsTheWriterMakesIt;
    bool readOnly = false;  // no one may write the file (mode 0444)
};

std::string recordOf(const RecordCase& c, const std::string& path) {
    struct stat status {};
    ::stat(path.c_str(), &status);
    storage::FileIdentity file = storage::identityOf(status);
    file.inode += c.made == Made::ForAnotherInode ? 1 : 0;
    std::string record = storage::encodeRecord({file, c.write});
    switch (c.made) {
        case Made::WithAByteChanged:
            record[record.size() / 2] ^= 1;
            break;
        case Made::CutShort:
            record.pop_back();
            break;
        case Made::Rubbish:
            record = "rubbish";
            break;
        default:
            break;
    }
    return record;
}

bool hasRecord(const std::string& path) {
    return ::getxattr(path.c_str(), storage::kJournalAttribute, nullptr, 0) >= 0;
}

// A record of a save that a kill or power loss cut short is acted on by the next click, and by a
// save, only when the program's own save of this very file could have made it: its bytes lie
// within the file's tags, it names this file, and its write had begun. Then the save is
// finished; any other record is removed and the file is not touched. Each row is one kind of
// record, the unlucky (a copy that took the record along, a restored backup) and the crafted.
TEST(CrashRecord, IsActedOnOnlyWhenTheProgramsOwnSaveOfTheFileCouldHaveMadeIt) {
    const QByteArray id3v2 = test_tags::handmadeTag(3, {{"TIT2", "Old"}}, 50);
    const QByteArray newId3v2 = QByteArray(id3v2).replace("Old", "Neu");
    const auto titleAt = static_cast<off_t>(id3v2.indexOf("Old"));
    const QByteArray audio = audioBytes(1000);
    const QByteArray oldTrailer = trailer("Old");
    const QByteArray newTrailer = trailer("New");
    const QByteArray untagged = id3v2 + audio;
    const QByteArray tagged = untagged + oldTrailer;
    const QByteArray saved = untagged + newTrailer;
    const auto trailerAt = static_cast<off_t>(untagged.size());
    const auto size = static_cast<off_t>(tagged.size());
    const storage::InPlaceWrite replace{size, {{trailerAt, bytes(oldTrailer), bytes(newTrailer)}}};
    const storage::InPlaceWrite append{trailerAt, {{trailerAt, "", bytes(newTrailer)}}};
    const QByteArray torn = untagged + newTrailer.left(60) + oldTrailer.mid(60);
    const auto inAudio = static_cast<off_t>(id3v2.size() + 100);
    const storage::InPlaceWrite intoAudio{
        size, {{inAudio, bytes(audio.mid(100, 16)), std::string(16, 'X')}}};
    const QByteArray audioTorn = tagged.left(inAudio) + "XXXXXXXX" + tagged.mid(inAudio + 8);
    const auto appending = [&](const std::string& newBytes) {
        return storage::InPlaceWrite{trailerAt, {{trailerAt, "", newBytes}}};
    };
    // The trailer's save, and `newBytes` at `at`.
    const auto besideTheTrailer = [&](off_t at, const std::string& newBytes) {
        return storage::InPlaceWrite{
            size,
            {{at, bytes(tagged.mid(at, static_cast<qsizetype>(newBytes.size()))), newBytes},
             {trailerAt, bytes(oldTrailer), bytes(newTrailer)}}};
    };
    const auto tagEnd = static_cast<off_t>(id3v2.size());
    const storage::InPlaceWrite afterTheTrailer{size, {{size, "", bytes(newTrailer)}}};
    const storage::InPlaceWrite overTheAudioEnd{
        trailerAt, {{trailerAt - 20, bytes(untagged.right(20)), std::string(20, 'Z')}}};
    const QByteArray kLeft;  // the file as the row makes it

    const std::vector<RecordCase> cases = {
        {"a replace torn where a page ends", torn, replace, Recovery::Finished, saved},
        {"a replace on disk whose record stayed", saved, replace, Recovery::Finished, saved},
        {"an append cut short", untagged + newTrailer.left(50), append, Recovery::Finished, saved},
        {"both tags, the trailer torn", newId3v2 + audio + newTrailer.left(7) + oldTrailer.mid(7),
         besideTheTrailer(titleAt, "Neu"), Recovery::Finished, newId3v2 + audio + newTrailer},
        {"a restored copy, or a write not begun: every byte old", tagged, replace,
         Recovery::Discarded, kLeft},
        {"a file that now holds other bytes", untagged + trailer("Other"), replace,
         Recovery::Discarded, kLeft},
        {"a file of another size", untagged.chopped(1) + oldTrailer, replace, Recovery::Discarded,
         kLeft},
        {"a file grown past the append", saved + oldTrailer, append, Recovery::Discarded, kLeft},
        {"no record at all", tagged, replace, Recovery::Discarded, kLeft, Made::Rubbish},
        {"a record cut short", torn, replace, Recovery::Discarded, kLeft, Made::CutShort},
        {"a record with a byte changed", torn, replace, Recovery::Discarded, kLeft,
         Made::WithAByteChanged},
        {"a copy of the file that took the record along", torn, replace, Recovery::Discarded, kLeft,
         Made::ForAnotherInode},
        {"audio bytes", audioTorn, intoAudio, Recovery::Discarded, kLeft},
        {"an append of 3,000 bytes", untagged, appending(std::string(3000, 'Y')),
         Recovery::Discarded, kLeft},
        {"an append of 128 bytes that are no trailer", untagged, appending(std::string(128, 'Y')),
         Recovery::Discarded, kLeft},
        {"an append after a trailer", tagged, afterTheTrailer, Recovery::Discarded, kLeft},
        {"a change across the ID3v2 tag's end into the audio", torn,
         besideTheTrailer(tagEnd - 2, "ZZZZ"), Recovery::Discarded, kLeft},
        {"an ID3v2 header that would declare another size", torn, besideTheTrailer(9, "\x7f"),
         Recovery::Discarded, kLeft},
        {"the last 128 bytes of a file without a trailer", untagged, overTheAudioEnd,
         Recovery::Discarded, kLeft},
        {"a save cut short on a file no one may write", torn, replace, Recovery::Failed, kLeft,
         Made::AsTheWriterMakesIt, true},
        {"a foreign record on a file no one may write", torn, intoAudio, Recovery::Discarded, kLeft,
         Made::AsTheWriterMakesIt, true},
    };
    id3::TagRecord edited;
    edited.store(id3::TagField::Tag, "TAG");
    edited.store(id3::TagField::Title, "Edited");
    const QByteArray editedTrailer = test_files::bytesOf(edited.encode());
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("song.mp3"));
    const std::string name = path.toStdString();
    const auto setUp = [&](const RecordCase& c) {
        ::chmod(name.c_str(), 0644);
        writeAll(path, c.inFile);
        const std::string record = recordOf(c, name);
        EXPECT_EQ(
            ::setxattr(name.c_str(), storage::kJournalAttribute, record.data(), record.size(), 0),
            0);
        ::chmod(name.c_str(), c.readOnly ? 0444 : 0644);
    };
    for (const RecordCase& c : cases) {
        setUp(c);
        const id3::TrailerRead click = id3::readTrailerForEditing(test_files::pathOf(path));

        EXPECT_EQ(click.recovery.outcome, c.recovery) << c.what << ": " << click.recovery.reason;
        EXPECT_FALSE(click.recovery.reason.empty()) << c.what;
        const QByteArray afterClick = c.afterClick.isEmpty() ? c.inFile : c.afterClick;
        EXPECT_EQ(readAll(path), afterClick) << c.what;
        EXPECT_EQ(hasRecord(name), c.readOnly) << c.what;
        if (c.readOnly) {
            continue;
        }

        setUp(c);
        const id3::TagsWrite written =
            id3::writeTags(test_files::pathOf(path), {edited, 0}, nullptr);

        EXPECT_TRUE(written.trailer.saved) << c.what << ": " << written.trailer.reason;
        const bool endsInTrailer = afterClick.right(128).startsWith("TAG");
        EXPECT_EQ(readAll(path),
                  (endsInTrailer ? afterClick.chopped(128) : afterClick) + editedTrailer)
            << c.what;
        EXPECT_FALSE(hasRecord(name)) << c.what;
    }
}

}  // namespace

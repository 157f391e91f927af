#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <QTemporaryDir>

#include <string>
#include <vector>

#include "storage/write_journal.h"
#include "support/temp_files.h"
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

struct RecordCase {
    const char* what;
    QByteArray inFile;  // what the interrupted write left
    std::string record;
    Recovery recovery;
    QByteArray afterClick;
};

// What the next click does with the record of a write that a kill or power loss cut short:
// complete it when the file is one the write may have left, else remove the record and leave
// the file as it is.
TEST(WriteJournal, TheNextClickCompletesACutShortWriteOrDropsARecordThatDoesNotFit) {
    const QByteArray audio = audioBytes(1000);
    const QByteArray oldTrailer = trailer("Old");
    const QByteArray newTrailer = trailer("New");
    const storage::InPlaceWrite replace{1128, {{1000, bytes(oldTrailer), bytes(newTrailer)}}};
    const storage::InPlaceWrite append{1000, {{1000, "", bytes(newTrailer)}}};
    // As when a tag at the front and the trailer change in one write.
    const QByteArray front = audio.left(40);
    const QByteArray newFront = QByteArray(20, 'x');
    const storage::InPlaceWrite twoChanges{1128,
                                           {{10, bytes(front.mid(10, 20)), bytes(newFront)},
                                            {1000, bytes(oldTrailer), bytes(newTrailer)}}};
    const QByteArray bothNew = audio.left(10) + newFront + audio.mid(30) + newTrailer;

    std::string cutShortRecord = storage::encodeWrite(replace);
    cutShortRecord.pop_back();

    const std::vector<RecordCase> cases = {
        {"a replace torn where a page ends", audio + newTrailer.left(60) + oldTrailer.mid(60),
         storage::encodeWrite(replace), Recovery::Finished, audio + newTrailer},
        {"a replace on disk whose record stayed", audio + newTrailer, storage::encodeWrite(replace),
         Recovery::Finished, audio + newTrailer},
        {"an append cut short", audio + newTrailer.left(50), storage::encodeWrite(append),
         Recovery::Finished, audio + newTrailer},
        {"two changes, the second torn",
         audio.left(10) + newFront + audio.mid(30) + newTrailer.left(7) + oldTrailer.mid(7),
         storage::encodeWrite(twoChanges), Recovery::Finished, bothNew},
        {"a file that now holds other bytes", audio + trailer("Other"),
         storage::encodeWrite(replace), Recovery::Discarded, audio + trailer("Other")},
        {"a file of another size", audio.left(999) + oldTrailer, storage::encodeWrite(replace),
         Recovery::Discarded, audio.left(999) + oldTrailer},
        {"a file grown past the append", audio + newTrailer + oldTrailer,
         storage::encodeWrite(append), Recovery::Discarded, audio + newTrailer + oldTrailer},
        {"a record that is no record", audio + oldTrailer, "rubbish", Recovery::Discarded,
         audio + oldTrailer},
        {"a record cut short", audio + oldTrailer, cutShortRecord, Recovery::Discarded,
         audio + oldTrailer},
    };
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("song.mp3"));
    const std::string name = path.toStdString();
    for (const RecordCase& c : cases) {
        writeAll(path, c.inFile);
        ASSERT_EQ(::setxattr(name.c_str(), storage::kJournalAttribute, c.record.data(),
                             c.record.size(), 0),
                  0);

        const id3::TrailerRead click = id3::readTrailer(test_files::pathOf(path));

        EXPECT_EQ(click.recovery.outcome, c.recovery) << c.what << ": " << click.recovery.reason;
        EXPECT_FALSE(click.recovery.reason.empty()) << c.what;
        EXPECT_EQ(readAll(path), c.afterClick) << c.what;
        EXPECT_EQ(click.outcome, id3::TrailerRead::Outcome::Trailer) << c.what;
        EXPECT_LT(::getxattr(name.c_str(), storage::kJournalAttribute, nullptr, 0), 0) << c.what;
    }
}

}  // namespace

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>

#include "support/temp_files.h"
#include "support/write_faults.h"
#include "tag/trailer_file.h"

namespace {

using Outcome = id3::TrailerRead::Outcome;
using test_files::apeTag;
using test_files::audioBytes;
using test_files::failingWith;
using test_files::FileSizeCap;
using test_files::readAll;
using test_files::trailer;
using test_files::writeAll;

class TrailerFile : public testing::Test {
protected:
    QString file(const QString& name) const { return folder_.filePath(name); }

    QString withContent(const QString& name, const QByteArray& bytes) const {
        writeAll(file(name), bytes);
        return file(name);
    }

    static id3::EditedTag someTag() {
        id3::TagRecord record;
        record.store(id3::TagField::Tag, "TAG");
        record.store(id3::TagField::Title, "New title");
        record.store(id3::TagField::Genre, "\x05");
        return {record, 0};
    }
    static QByteArray someTrailer() { return test_files::bytesOf(someTag().record.encode()); }

    static bool hasRecord(const QString& path) {
        return ::getxattr(path.toLocal8Bit().constData(), id3::kJournalAttribute, nullptr, 0) >= 0;
    }

    QTemporaryDir folder_;
};

// An APEv2 tag that ends a file: its "APETAGEX" is 131 bytes from the end, so its "TAG" is
// exactly where a trailer's would be.
const QByteArray kApeTag = apeTag(QByteArray(53, 'a'));

struct ReadCase {
    const char* what;
    QByteArray content;
    Outcome outcome;
};

TEST_F(TrailerFile, ReadsTheLastBytesOfRegularFilesOnly) {
    const std::vector<ReadCase> cases = {
        {"audio then trailer", audioBytes(1000) + trailer("Song"), Outcome::Trailer},
        {"nothing but a trailer", trailer("Only"), Outcome::Trailer},
        {"audio only", audioBytes(1000), Outcome::NoTrailer},
        {"lower-case mark", audioBytes(500) + "tag" + trailer("x").mid(3), Outcome::NoTrailer},
        {"trailer not at the end", trailer("Early") + audioBytes(10), Outcome::NoTrailer},
        {"shorter than a trailer", QByteArray("TAG short"), Outcome::NoTrailer},
        {"empty", QByteArray(), Outcome::NoTrailer},
        {"an APEv2 tag whose TAG is 128 bytes from the end", audioBytes(900) + kApeTag,
         Outcome::NoTrailer},
        {"a trailer after an APEv2 tag", audioBytes(900) + kApeTag + trailer("After APE"),
         Outcome::Trailer},
    };
    for (const ReadCase& c : cases) {
        const QString path = withContent(QStringLiteral("f.mp3"), c.content);
        const id3::TrailerRead read = id3::readTrailer(test_files::pathOf(path));
        EXPECT_EQ(read.outcome, c.outcome) << c.what;
        if (c.outcome == Outcome::Trailer) {
            EXPECT_EQ(test_files::bytesOf(read.lastBytes), c.content.right(128)) << c.what;
        }
        EXPECT_EQ(readAll(path), c.content) << c.what << ": reading changed the file";
    }
}

TEST_F(TrailerFile, RefusesWhatIsNoRegularFileWithoutOpeningIt) {
    QDir(folder_.path()).mkdir(QStringLiteral("folder.mp3"));
    ASSERT_EQ(::mkfifo(file(QStringLiteral("fifo.mp3")).toLocal8Bit().constData(), 0644), 0);

    // Opening a FIFO for reading would wait for a writer forever: this returns at once.
    EXPECT_EQ(id3::readTrailer(test_files::pathOf(file(QStringLiteral("fifo.mp3")))).outcome,
              Outcome::NotAFile);
    EXPECT_EQ(id3::readTrailer(test_files::pathOf(file(QStringLiteral("folder.mp3")))).outcome,
              Outcome::NotAFile);
    EXPECT_EQ(id3::readTrailer(core::FilePath("/dev/null")).outcome, Outcome::NotAFile);

    const id3::TrailerRead missing =
        id3::readTrailer(test_files::pathOf(file(QStringLiteral("gone.mp3"))));
    EXPECT_EQ(missing.outcome, Outcome::Unreadable);
    EXPECT_FALSE(missing.reason.empty());
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("gone.mp3")))) << "reading created it";
}

TEST_F(TrailerFile, OverwritesAnExistingTrailerInPlace) {
    const QByteArray audio = audioBytes(4000);
    const QString path = withContent(QStringLiteral("a.mp3"), audio + trailer("Old", "Artist"));

    const id3::TrailerWrite written = id3::writeTrailer(test_files::pathOf(path), someTag());

    ASSERT_TRUE(written.saved) << written.reason;
    EXPECT_EQ(readAll(path), audio + someTrailer());
}

TEST_F(TrailerFile, AFileThatIsAllTrailerIsOverwrittenWhole) {
    const QString path = withContent(QStringLiteral("t.mp3"), trailer("Only"));
    ASSERT_TRUE(id3::writeTrailer(test_files::pathOf(path), someTag()).saved);
    EXPECT_EQ(readAll(path), someTrailer());
}

TEST_F(TrailerFile, AppendsWhenTheFileEndsInAudioSoNoAudioByteIsLost) {
    for (const QByteArray& before :
         {audioBytes(4000), audioBytes(127), audioBytes(128), QByteArray(),
          audioBytes(300) + "tag" + audioBytes(125), trailer("Early") + audioBytes(200),
          audioBytes(600) + kApeTag}) {
        const QString path = withContent(QStringLiteral("b.mp3"), before);

        const id3::TrailerWrite written = id3::writeTrailer(test_files::pathOf(path), someTag());

        ASSERT_TRUE(written.saved) << written.reason;
        EXPECT_EQ(readAll(path), before + someTrailer()) << before.size();
    }
}

TEST_F(TrailerFile, WritingTwiceKeepsOneTrailer) {
    const QByteArray audio = audioBytes(900);
    const QString path = withContent(QStringLiteral("c.mp3"), audio);
    ASSERT_TRUE(id3::writeTrailer(test_files::pathOf(path), someTag()).saved);
    ASSERT_TRUE(id3::writeTrailer(test_files::pathOf(path), someTag()).saved);
    EXPECT_EQ(readAll(path), audio + someTrailer());
}

TEST_F(TrailerFile, NeverCreatesOrTouchesWhatIsNoRegularFile) {
    QDir(folder_.path()).mkdir(QStringLiteral("folder.mp3"));
    ASSERT_EQ(::mkfifo(file(QStringLiteral("fifo.mp3")).toLocal8Bit().constData(), 0644), 0);
    for (const QString& name : {QStringLiteral("gone.mp3"), QStringLiteral("folder.mp3"),
                                QStringLiteral("fifo.mp3"), QStringLiteral("folder.mp3/")}) {
        const id3::TrailerWrite written =
            id3::writeTrailer(test_files::pathOf(file(name)), someTag());
        EXPECT_FALSE(written.saved) << name.toStdString();
        EXPECT_FALSE(written.reason.empty()) << name.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("gone.mp3"))));
    EXPECT_TRUE(QDir(file(QStringLiteral("folder.mp3"))).isEmpty());
}

struct LinkCase {
    const char* what;
    std::vector<std::pair<const char*, const char*>> links;  // name, then what it points to
    const char* target;  // the file a save may change, made before the links
    std::string reason;
};

TEST_F(TrailerFile, FollowsALinkOnlyToAFileWithAnMp3Name) {
    const QByteArray audio = audioBytes(700);
    const std::vector<LinkCase> cases = {
        {"to an MP3 file", {{"link.mp3", "song.MP3"}}, "song.MP3", ""},
        {"to a text file",
         {{"link.mp3", "notes.txt"}},
         "notes.txt",
         "notes.txt, which is no MP3 file"},
        {"through another link to a text file",
         {{"middle.mp3", "notes.txt"}, {"link.mp3", "middle.mp3"}},
         "notes.txt",
         "notes.txt, which is no MP3 file"},
        {"to nothing", {{"link.mp3", "gone.mp3"}}, nullptr, "the file no longer exists"},
    };
    for (const LinkCase& c : cases) {
        QTemporaryDir folder;
        const QString target =
            c.target ? folder.filePath(QString::fromLatin1(c.target)) : QString();
        if (c.target) {
            writeAll(target, audio);
        }
        for (const auto& [name, pointsTo] : c.links) {
            ASSERT_TRUE(QFile::link(QString::fromLatin1(pointsTo),
                                    folder.filePath(QString::fromLatin1(name))));
        }

        const id3::TrailerWrite written = id3::writeTrailer(
            test_files::pathOf(folder.filePath(QStringLiteral("link.mp3"))), someTag());

        EXPECT_EQ(written.saved, c.reason.empty()) << c.what;
        EXPECT_TRUE(written.reason.ends_with(c.reason)) << c.what << ": " << written.reason;
        if (c.target) {
            EXPECT_EQ(readAll(target), written.saved ? audio + someTrailer() : audio) << c.what;
        }
        EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("link.mp3"))).isSymLink()) << c.what;
        EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("gone.mp3")))) << c.what;
    }
}

TEST_F(TrailerFile, AFailedAppendIsReportedAndCutOffAgain) {
    const QByteArray audio = audioBytes(1000);
    const QString path = withContent(QStringLiteral("d.mp3"), audio);

    id3::TrailerWrite written;
    {
        const FileSizeCap cap(audio.size() + 50);  // room for part of the trailer only
        written = id3::writeTrailer(test_files::pathOf(path), someTag());
    }

    EXPECT_FALSE(written.saved);
    EXPECT_FALSE(written.reason.empty());
    EXPECT_EQ(readAll(path), audio) << "a half-written trailer stayed behind";
}

// One way the disk fails, all with `error`: the first pwrite lands only `landed` bytes, as at
// the file-size limit, and the next `writeFailures` calls fail; the first `syncFailures`
// fdatasync calls fail (all for -1); pread, ftruncate or close fail when told to. The record of
// the write fails with `recordError` (ENOTSUP as on FAT), its flush or its removal when told to.
struct Fault {
    int error = EIO;
    std::size_t landed = 128;
    int writeFailures = 0;
    int syncFailures = 0;
    bool readFails = false;
    bool truncateFails = false;
    bool closeFails = false;
    int recordError = 0;
    bool recordFlushFails = false;
    bool recordRemovalFails = false;
};

id3::WriterSystemCalls failingCalls(const Fault& f) {
    id3::WriterSystemCalls calls;
    calls.pwrite = [f, n = 0](int fd, const void* data, size_t size, off_t offset) mutable {
        if (++n > 1 && n <= 1 + f.writeFailures) {
            errno = f.error;
            return ssize_t{-1};
        }
        return ::pwrite(fd, data, n == 1 ? std::min(size, f.landed) : size, offset);
    };
    calls.fdatasync = [f, n = 0](int fd) mutable {
        if (f.syncFailures < 0 || n++ < f.syncFailures) {
            errno = f.error;
            return -1;
        }
        return ::fdatasync(fd);
    };
    const auto fail = failingWith(f.error);
    if (f.readFails) {
        calls.pread = fail;
    }
    if (f.truncateFails) {
        calls.ftruncate = fail;
    }
    if (f.closeFails) {
        calls.close = [fail](int fd) {
            ::close(fd);  // the descriptor is gone even when close reports an error
            return fail();
        };
    }
    if (f.recordError != 0) {
        calls.fsetxattr = failingWith(f.recordError);
    }
    if (f.recordFlushFails) {
        calls.fsync = fail;
    }
    if (f.recordRemovalFails) {
        calls.fremovexattr = fail;
    }
    return calls;
}

// What the file ends in: audio, after which a trailer is appended, a trailer that is
// overwritten, or an APEv2 tag, which is kept and a trailer appended after it.
enum class Ending { Audio, Trailer, ApeTag };

struct FaultCase {
    const char* what;
    Ending ending;
    Fault fault;
    int newBytesLeft;    // of the trailer being saved, that stay in the file
    std::string reason;  // empty when saved
    // As many, or all 128 where the record that stayed makes the next click finish the save.
    int newBytesAfterClick;
};

TEST_F(TrailerFile, AFailingDiskLeavesTheFileAsItWasOrSaysItCouldNot) {
    const std::string recordKept =
        ", and the file could not be put back as it was: choosing it again finishes the save";
    const std::string notPutBack =
        ", and the file could not be put back as it was: it may hold an incomplete tag";
    const std::vector<FaultCase> cases = {
        {"short write, then EFBIG",
         Ending::Audio,
         {.error = EFBIG, .landed = 50, .writeFailures = 1},
         0,
         "the file may not grow any larger",
         0},
        {"ENOSPC after a partial overwrite",
         Ending::Trailer,
         {.error = ENOSPC, .landed = 60, .writeFailures = 1},
         0,
         "the disk is full",
         0},
        {"EIO reading the old trailer",
         Ending::Trailer,
         {.readFails = true},
         0,
         "the disk reported an error while its last 128 bytes were read",
         0},
        {"a failing sync, undone",
         Ending::Trailer,
         {.syncFailures = 1},
         0,
         "the disk reported an error",
         0},
        {"after an APEv2 tag, short write, then ENOSPC",
         Ending::ApeTag,
         {.error = ENOSPC, .landed = 70, .writeFailures = 1},
         0,
         "the disk is full",
         0},
        {"after an APEv2 tag, the cut-back fails too",
         Ending::ApeTag,
         {.error = EFBIG, .landed = 20, .writeFailures = 1, .truncateFails = true},
         20,
         "the file may not grow any larger" + recordKept,
         128},
        {"the cut-back fails too",
         Ending::Audio,
         {.error = EFBIG, .landed = 50, .writeFailures = 1, .truncateFails = true},
         50,
         "the file may not grow any larger" + recordKept,
         128},
        {"the restore of the old trailer fails too",  // "TAG" is not written again
         Ending::Trailer,
         {.error = ENOSPC, .landed = 60, .writeFailures = 2},
         3 + 60,
         "the disk is full" + recordKept,
         128},
        {"the sync after the clean-up fails too",
         Ending::Audio,
         {.syncFailures = -1},
         0,
         "the disk reported an error" + recordKept,
         128},
        {"close fails after the sync", Ending::Trailer, {.closeFails = true}, 128, "", 128},
        {"no extended attributes on the disk (FAT)",
         Ending::Trailer,
         {.recordError = ENOTSUP},
         128,
         "",
         128},
        {"no extended attributes, and the cut-back fails too",
         Ending::Audio,
         {.error = EFBIG,
          .landed = 50,
          .writeFailures = 1,
          .truncateFails = true,
          .recordError = ENOTSUP},
         50,
         "the file may not grow any larger" + notPutBack,
         50},
        {"EIO while the write is recorded",
         Ending::Trailer,
         {.recordError = EIO},
         0,
         "the disk reported an error",
         0},
        {"the flush of the record fails",
         Ending::Trailer,
         {.recordFlushFails = true},
         0,
         "the disk reported an error",
         0},
        {"the record stays after the bytes are on disk",
         Ending::Trailer,
         {.recordRemovalFails = true},
         128,
         "",
         128},
    };
    const QByteArray written = someTrailer();
    for (const FaultCase& c : cases) {
        const QByteArray kept = audioBytes(1000) + (c.ending == Ending::ApeTag ? kApeTag : "");
        const QByteArray old = c.ending == Ending::Trailer ? trailer("Old") : QByteArray();
        const QString path = withContent(QStringLiteral("e.mp3"), kept + old);
        const auto leaves = [&](int newBytes) {
            return kept + written.left(newBytes) + old.mid(newBytes);
        };

        const id3::TrailerWrite result =
            id3::writeTrailer(test_files::pathOf(path), someTag(), failingCalls(c.fault));

        EXPECT_EQ(result.saved, c.reason.empty()) << c.what;
        EXPECT_EQ(result.reason, c.reason) << c.what;
        EXPECT_EQ(readAll(path), leaves(c.newBytesLeft)) << c.what;

        const id3::TrailerRead click = id3::readTrailer(test_files::pathOf(path));
        EXPECT_EQ(readAll(path), leaves(c.newBytesAfterClick)) << c.what;
        EXPECT_NE(click.recovery.outcome, id3::JournalRecovery::Outcome::Failed) << c.what;
        EXPECT_FALSE(hasRecord(path)) << c.what;
    }
}

}  // namespace

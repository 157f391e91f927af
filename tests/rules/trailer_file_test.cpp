#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "support/temp_files.h"
#include "support/write_faults.h"
#include "tag/tags_write.h"
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

    // A save of the trailer alone, as of a file without an ID3v2 tag.
    static id3::TrailerWrite saveTrailer(const QString& path,
                                         const storage::SystemCalls& calls = {}) {
        return id3::writeTags(test_files::pathOf(path), someTag(), nullptr, calls).trailer;
    }

    static bool hasRecord(const QString& path) {
        return ::getxattr(path.toLocal8Bit().constData(), storage::kJournalAttribute, nullptr, 0) >=
               0;
    }

    QTemporaryDir folder_;
};

// An APEv2 tag that ends a file: its "APETAGEX" is 131 bytes from the end, so its "TAG" is
// exactly where a trailer's would be.
const QByteArray kApeTag = apeTag(QByteArray(53, 'a'));

struct ReadAndSaveCase {
    const char* what;
    QByteArray kept;     // every byte a save keeps
    QByteArray trailer;  // at the end, when there is one
};

// A trailer at the end is read and overwritten in place; after anything else, even an APEv2 tag,
// there is none, and one is appended so that no byte is lost. A second save overwrites the
// trailer the first appended.
TEST_F(TrailerFile, ReadsTheLastBytesAndOverwritesTheTrailerOrAppendsOne) {
    const std::vector<ReadAndSaveCase> cases = {
        {"audio then trailer", audioBytes(1000), trailer("Song", "Artist")},
        {"nothing but a trailer", {}, trailer("Only")},
        {"audio only", audioBytes(1000), {}},
        {"127 bytes", audioBytes(127), {}},
        {"128 bytes", audioBytes(128), {}},
        {"lower-case mark", audioBytes(500) + "tag" + trailer("x").mid(3), {}},
        {"trailer not at the end", trailer("Early") + audioBytes(10), {}},
        {"shorter than a trailer", QByteArray("TAG short"), {}},
        {"empty", {}, {}},
        {"an APEv2 tag whose TAG is 128 bytes from the end", audioBytes(900) + kApeTag, {}},
        {"a trailer after an APEv2 tag", audioBytes(900) + kApeTag, trailer("After APE")},
    };
    for (const ReadAndSaveCase& c : cases) {
        const QString path = withContent(QStringLiteral("f.mp3"), c.kept + c.trailer);
        const id3::TrailerRead read = id3::readTrailer(test_files::pathOf(path));
        EXPECT_EQ(read.outcome, c.trailer.isEmpty() ? Outcome::NoTrailer : Outcome::Trailer)
            << c.what;
        if (!c.trailer.isEmpty()) {
            EXPECT_EQ(test_files::bytesOf(read.lastBytes), c.trailer) << c.what;
        }
        EXPECT_EQ(readAll(path), c.kept + c.trailer) << c.what << ": reading changed the file";
        for (const int save : {1, 2}) {
            const id3::TrailerWrite written = saveTrailer(path);
            ASSERT_TRUE(written.saved) << c.what << ": " << written.reason;
            EXPECT_EQ(readAll(path), c.kept + someTrailer()) << c.what << ", save " << save;
        }
    }
}

// Opening a FIFO would wait for a writer or reader forever: reading and saving return at once.
TEST_F(TrailerFile, NeitherReadsNorCreatesNorTouchesWhatIsNoRegularFile) {
    QDir(folder_.path()).mkdir(QStringLiteral("folder.mp3"));
    ASSERT_EQ(::mkfifo(file(QStringLiteral("fifo.mp3")).toLocal8Bit().constData(), 0644), 0);
    const std::pair<QString, Outcome> cases[] = {
        {file(QStringLiteral("gone.mp3")), Outcome::Unreadable},
        {file(QStringLiteral("folder.mp3")), Outcome::NotAFile},
        {file(QStringLiteral("folder.mp3/")), Outcome::NotAFile},
        {file(QStringLiteral("fifo.mp3")), Outcome::NotAFile},
        {QStringLiteral("/dev/null"), Outcome::NotAFile},
    };
    for (const auto& [path, outcome] : cases) {
        const id3::TrailerRead read = id3::readTrailer(test_files::pathOf(path));
        EXPECT_EQ(read.outcome, outcome) << path.toStdString();
        EXPECT_FALSE(read.reason.empty()) << path.toStdString();
        const id3::TrailerWrite written = saveTrailer(path);
        EXPECT_FALSE(written.saved) << path.toStdString();
        EXPECT_FALSE(written.reason.empty()) << path.toStdString();
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

        const id3::TrailerWrite written = saveTrailer(folder.filePath(QStringLiteral("link.mp3")));

        EXPECT_EQ(written.saved, c.reason.empty()) << c.what;
        EXPECT_TRUE(written.reason.ends_with(c.reason)) << c.what << ": " << written.reason;
        if (c.target) {
            EXPECT_EQ(readAll(target), written.saved ? audio + someTrailer() : audio) << c.what;
        }
        EXPECT_TRUE(QFileInfo(folder.filePath(QStringLiteral("link.mp3"))).isSymLink()) << c.what;
        EXPECT_FALSE(QFileInfo::exists(folder.filePath(QStringLiteral("gone.mp3")))) << c.what;
    }
}

// What the file ends in: audio, after which a trailer is appended, a trailer that is
// overwritten, or an APEv2 tag, which is kept and a trailer appended after it.
enum class Ending { Audio, Trailer, ApeTag };

// Calls that fail besides the writes, with the case's error: the first or every fdatasync, and
// the record of the write, its flush or its removal; NoRecord fails the record with ENOTSUP, as
// on FAT.
enum Failing : unsigned {
    None = 0,
    Read = 1,
    Truncate = 2,
    Close = 4,
    SyncOnce = 8,
    SyncAlways = 16,
    NoRecord = 32,
    Record = 64,
    RecordFlush = 128,
    RecordRemoval = 256
};

struct FaultCase {
    const char* what;
    Ending ending;
    int error;
    std::size_t landed;  // by the first write, as at the file-size limit
    int writeFailures;   // of the writes after it
    unsigned failing;
    int newBytesLeft;  // of the trailer being saved, that stay in the file
    // As many, or all 128 where the record that stayed makes the next click finish the save.
    int newBytesAfterClick;
    std::string reason;  // empty when saved
    // When set, the file-size limit leaves room for this many new bytes, and no call is made
    // to fail.
    rlim_t roomBeforeLimit = 0;
};

storage::SystemCalls failingCalls(const FaultCase& f) {
    storage::SystemCalls calls;
    calls.pwrite = [f, n = 0](int fd, const void* data, size_t size, off_t offset) mutable {
        if (++n > 1 && n <= 1 + f.writeFailures) {
            errno = f.error;
            return ssize_t{-1};
        }
        return ::pwrite(fd, data, n == 1 ? std::min(size, f.landed) : size, offset);
    };
    calls.fdatasync = [f, n = 0](int fd) mutable {
        if ((f.failing & SyncAlways) != 0 || ((f.failing & SyncOnce) != 0 && n++ == 0)) {
            errno = f.error;
            return -1;
        }
        return ::fdatasync(fd);
    };
    const auto failIf = [&f](unsigned failing, auto& call) {
        if ((f.failing & failing) != 0) {
            call = failingWith(f.error);
        }
    };
    failIf(Read, calls.pread);
    failIf(Truncate, calls.ftruncate);
    failIf(RecordFlush, calls.fsync);
    failIf(RecordRemoval, calls.fremovexattr);
    failIf(Record, calls.fsetxattr);
    if ((f.failing & NoRecord) != 0) {
        calls.fsetxattr = failingWith(ENOTSUP);
    }
    if ((f.failing & Close) != 0) {
        calls.close = [error = f.error](int fd) {
            ::close(fd);  // the descriptor is gone even when close reports an error
            return failingWith(error)();
        };
    }
    return calls;
}

TEST_F(TrailerFile, AFailingDiskLeavesTheFileAsItWasOrSaysItCouldNot) {
    using enum Ending;
    const std::string tooLarge = "the file may not grow any larger";
    const std::string full = "the disk is full";
    const std::string disk = "the disk reported an error";
    const std::string recordKept =
        ", and the file could not be put back as it was: choosing it again finishes the save";
    const std::string notPutBack =
        ", and the file could not be put back as it was: it may be left half-written";
    const std::vector<FaultCase> cases = {
        {"short write, then EFBIG", Audio, EFBIG, 50, 1, None, 0, 0, tooLarge},
        {"the file-size limit, past part of the trailer", Audio, 0, 128, 0, None, 0, 0, tooLarge,
         50},
        {"ENOSPC after a partial overwrite", Trailer, ENOSPC, 60, 1, None, 0, 0, full},
        {"EIO reading the old trailer", Trailer, EIO, 128, 0, Read, 0, 0,
         disk + " while its last 128 bytes were read"},
        {"a failing sync, undone", Trailer, EIO, 128, 0, SyncOnce, 0, 0, disk},
        {"after an APEv2 tag, short write, then ENOSPC", ApeTag, ENOSPC, 70, 1, None, 0, 0, full},
        {"after an APEv2 tag, the cut-back fails too", ApeTag, EFBIG, 20, 1, Truncate, 20, 128,
         tooLarge + recordKept},
        {"the cut-back fails too", Audio, EFBIG, 50, 1, Truncate, 50, 128, tooLarge + recordKept},
        // "TAG" is not written again.
        {"the restore of the old trailer fails too", Trailer, ENOSPC, 60, 2, None, 3 + 60, 128,
         full + recordKept},
        // Put back, the file holds every old byte: the next click drops the record.
        {"the sync after the clean-up fails too", Audio, EIO, 128, 0, SyncAlways, 0, 0, disk},
        {"close fails after the sync", Trailer, EIO, 128, 0, Close, 128, 128, ""},
        {"no extended attributes on the disk (FAT)", Trailer, EIO, 128, 0, NoRecord, 128, 128, ""},
        {"no extended attributes, and the cut-back fails too", Audio, EFBIG, 50, 1,
         Truncate | NoRecord, 50, 50, tooLarge + notPutBack},
        {"EIO while the write is recorded", Trailer, EIO, 128, 0, Record, 0, 0, disk},
        {"the flush of the record fails", Trailer, EIO, 128, 0, RecordFlush, 0, 0, disk},
        {"the record stays after the bytes are on disk", Trailer, EIO, 128, 0, RecordRemoval, 128,
         128, ""},
    };
    const QByteArray written = someTrailer();
    for (const FaultCase& c : cases) {
        const QByteArray kept = audioBytes(1000) + (c.ending == ApeTag ? kApeTag : "");
        const QByteArray old = c.ending == Trailer ? trailer("Old") : QByteArray();
        const QString path = withContent(QStringLiteral("e.mp3"), kept + old);
        const auto leaves = [&](int newBytes) {
            return kept + written.left(newBytes) + old.mid(newBytes);
        };

        id3::TrailerWrite result;
        {
            std::optional<FileSizeCap> cap;
            if (c.roomBeforeLimit > 0) {
                cap.emplace(static_cast<rlim_t>(kept.size() + old.size()) + c.roomBeforeLimit);
            }
            result = saveTrailer(path, failingCalls(c));
        }

        EXPECT_EQ(result.saved, c.reason.empty()) << c.what;
        EXPECT_EQ(result.reason, c.reason) << c.what;
        EXPECT_EQ(readAll(path), leaves(c.newBytesLeft)) << c.what;

        const id3::TrailerRead click = id3::readTrailerForEditing(test_files::pathOf(path));
        EXPECT_EQ(readAll(path), leaves(c.newBytesAfterClick)) << c.what;
        EXPECT_NE(click.recovery.outcome, storage::JournalRecovery::Outcome::Failed) << c.what;
        EXPECT_FALSE(hasRecord(path)) << c.what;
    }
}

}  // namespace

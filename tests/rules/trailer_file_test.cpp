#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>

#include "support/temp_files.h"
#include "tag/trailer_file.h"

namespace {

using Outcome = tag::TrailerRead::Outcome;
using test_files::audioBytes;
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

    static tag::TagRecord::Bytes someTrailer() {
        tag::TagRecord record;
        record.store(tag::TagField::Tag, "TAG");
        record.store(tag::TagField::Title, "New title");
        record.store(tag::TagField::Genre, "\x05");
        return record.encode();
    }

    static QByteArray asBytes(const tag::TagRecord::Bytes& bytes) {
        return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                          static_cast<qsizetype>(bytes.size()));
    }

    QTemporaryDir folder_;
};

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
    };
    for (const ReadCase& c : cases) {
        const QString path = withContent(QStringLiteral("f.mp3"), c.content);
        const tag::TrailerRead read = tag::readTrailer(path.toStdString());
        EXPECT_EQ(read.outcome, c.outcome) << c.what;
        if (c.outcome == Outcome::Trailer) {
            EXPECT_EQ(asBytes(read.lastBytes), c.content.right(128)) << c.what;
        }
        EXPECT_EQ(readAll(path), c.content) << c.what << ": reading changed the file";
    }
}

TEST_F(TrailerFile, RefusesWhatIsNoRegularFileWithoutOpeningIt) {
    QDir(folder_.path()).mkdir(QStringLiteral("folder.mp3"));
    ASSERT_EQ(::mkfifo(file(QStringLiteral("fifo.mp3")).toLocal8Bit().constData(), 0644), 0);

    // Opening a FIFO for reading would wait for a writer forever: this returns at once.
    EXPECT_EQ(tag::readTrailer(file(QStringLiteral("fifo.mp3")).toStdString()).outcome,
              Outcome::NotAFile);
    EXPECT_EQ(tag::readTrailer(file(QStringLiteral("folder.mp3")).toStdString()).outcome,
              Outcome::NotAFile);
    EXPECT_EQ(tag::readTrailer("/dev/null").outcome, Outcome::NotAFile);

    const tag::TrailerRead missing =
        tag::readTrailer(file(QStringLiteral("gone.mp3")).toStdString());
    EXPECT_EQ(missing.outcome, Outcome::Unreadable);
    EXPECT_FALSE(missing.reason.empty());
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("gone.mp3")))) << "reading created it";
}

TEST_F(TrailerFile, OverwritesAnExistingTrailerInPlace) {
    const QByteArray audio = audioBytes(4000);
    const QString path = withContent(QStringLiteral("a.mp3"), audio + trailer("Old", "Artist"));

    const tag::TrailerWrite written = tag::writeTrailer(path.toStdString(), someTrailer());

    ASSERT_TRUE(written.saved) << written.reason;
    EXPECT_EQ(readAll(path), audio + asBytes(someTrailer()));
}

TEST_F(TrailerFile, AFileThatIsAllTrailerIsOverwrittenWhole) {
    const QString path = withContent(QStringLiteral("t.mp3"), trailer("Only"));
    ASSERT_TRUE(tag::writeTrailer(path.toStdString(), someTrailer()).saved);
    EXPECT_EQ(readAll(path), asBytes(someTrailer()));
}

TEST_F(TrailerFile, AppendsWhenTheFileEndsInAudioSoNoAudioByteIsLost) {
    for (const QByteArray& before :
         {audioBytes(4000), audioBytes(127), audioBytes(128), QByteArray(),
          audioBytes(300) + "tag" + audioBytes(125), trailer("Early") + audioBytes(200)}) {
        const QString path = withContent(QStringLiteral("b.mp3"), before);

        const tag::TrailerWrite written = tag::writeTrailer(path.toStdString(), someTrailer());

        ASSERT_TRUE(written.saved) << written.reason;
        EXPECT_EQ(readAll(path), before + asBytes(someTrailer())) << before.size();
    }
}

TEST_F(TrailerFile, WritingTwiceKeepsOneTrailer) {
    const QByteArray audio = audioBytes(900);
    const QString path = withContent(QStringLiteral("c.mp3"), audio);
    ASSERT_TRUE(tag::writeTrailer(path.toStdString(), someTrailer()).saved);
    ASSERT_TRUE(tag::writeTrailer(path.toStdString(), someTrailer()).saved);
    EXPECT_EQ(readAll(path), audio + asBytes(someTrailer()));
}

TEST_F(TrailerFile, NeverCreatesOrTouchesWhatIsNoRegularFile) {
    QDir(folder_.path()).mkdir(QStringLiteral("folder.mp3"));
    ASSERT_EQ(::mkfifo(file(QStringLiteral("fifo.mp3")).toLocal8Bit().constData(), 0644), 0);
    for (const QString& name : {QStringLiteral("gone.mp3"), QStringLiteral("folder.mp3"),
                                QStringLiteral("fifo.mp3"), QStringLiteral("folder.mp3/")}) {
        const tag::TrailerWrite written =
            tag::writeTrailer(file(name).toStdString(), someTrailer());
        EXPECT_FALSE(written.saved) << name.toStdString();
        EXPECT_FALSE(written.reason.empty()) << name.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(file(QStringLiteral("gone.mp3"))));
    EXPECT_TRUE(QDir(file(QStringLiteral("folder.mp3"))).isEmpty());
}

// Root may write anything, so a failing write is made by capping the size a file may grow to.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit capped{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &capped);
    }
    ~FileSizeCap() { ::setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};

TEST_F(TrailerFile, AFailedAppendIsReportedAndCutOffAgain) {
    const QByteArray audio = audioBytes(1000);
    const QString path = withContent(QStringLiteral("d.mp3"), audio);

    tag::TrailerWrite written;
    {
        const FileSizeCap cap(audio.size() + 50);  // room for part of the trailer only
        written = tag::writeTrailer(path.toStdString(), someTrailer());
    }

    EXPECT_FALSE(written.saved);
    EXPECT_FALSE(written.reason.empty());
    EXPECT_EQ(readAll(path), audio) << "a half-written trailer stayed behind";
}

}  // namespace

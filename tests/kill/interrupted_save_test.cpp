// Kills a process that saves over and over at random moments, a few hundred times, and looks at
// what each kill left behind after the next click: every tag wholly one of those saved (or, for
// an append, none yet) and every other byte as it was.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kill/turns.h"
#include "support/id3v2_tags.h"
#include "support/temp_files.h"
#include "tag/tags_write.h"
#include "tag/trailer_file.h"

namespace {

using test_files::audioBytes;
using test_files::readAll;
using test_files::writeAll;

QByteArray trailerOfTurn(long turn, int first, int last) {
    return test_files::bytesOf(kill_test::trailerOfTurn(turn, first, last).record.encode());
}

using Clock = std::chrono::steady_clock;

// How often the saving loop has shown `mark` so far: "." as a save begins, "|" halfway through
// a write, where it waits for a byte on its standard input before it goes on.
qsizetype marks(QProcess& loop, char mark) {
    return loop.peek(loop.bytesAvailable()).count(mark);
}

bool waitForMarks(QProcess& loop, char mark, qsizetype count) {
    while (marks(loop, mark) < count) {
        if (!loop.waitForReadyRead(10'000)) {
            return false;
        }
    }
    return true;
}

// Starts the saving loop with `arguments`, lets it go on through `writes` writes, and returns
// once it waits halfway through the next one; false when it never gets there.
bool stopHalfwayThroughAWrite(QProcess& loop, const QStringList& arguments, int writes) {
    loop.start(QStringLiteral(SAVE_LOOP_PROGRAM), arguments);
    loop.write(QByteArray(writes, 'g'));
    return waitForMarks(loop, '|', writes + 1);
}

// Starts the saving loop with `arguments`, free to go on, and returns once it has begun
// `saves` saves how long a save takes it; nothing when it does not save.
std::optional<Clock::duration> startAndTime(QProcess& loop, const QStringList& arguments,
                                            int saves) {
    loop.start(QStringLiteral(SAVE_LOOP_PROGRAM), arguments);
    loop.write(QByteArray(16 * 1024, 'g'));
    if (!waitForMarks(loop, '.', 1)) {
        return std::nullopt;
    }
    const Clock::time_point firstSeen = Clock::now();
    const qsizetype seenFirst = marks(loop, '.');
    if (!waitForMarks(loop, '.', std::max<qsizetype>(saves, seenFirst + 1))) {
        return std::nullopt;
    }
    return (Clock::now() - firstSeen) / (marks(loop, '.') - seenFirst);
}

// How each run of the loop begins: the file as made, the loop's arguments after the file's
// path, and every file a kill may leave behind (after the next click).
struct LoopStart {
    QByteArray made;
    QStringList arguments;
    std::vector<QByteArray> whole;
};

struct KillCase {
    const char* what;
    std::function<LoopStart(std::mt19937& random)> start;
    bool journaled;  // whether a kill may cut a write short that the next click completes
};

// Audio and a trailer, where a 4 KiB page of the file ends inside the trailer and, for a
// replace, between the two bytes in which the trailers of the two turns differ. An append
// writes all 128 bytes.
LoopStart trailerStart(std::mt19937& random, bool append) {
    const int pageEnd = std::uniform_int_distribution(4, 127)(random);
    const QByteArray audio = audioBytes(4096 - pageEnd);
    const int first = append ? 3 : pageEnd - 1;
    const int last = append ? 127 : pageEnd;
    const QByteArray turn0 = audio + trailerOfTurn(0, first, last);
    const QByteArray turn1 = audio + trailerOfTurn(1, first, last);
    const QStringList bytes = {QString::number(first), QString::number(last)};
    if (append) {
        return {audio,
                bytes + QStringList{"append", QString::number(audio.size())},
                {audio, turn0, turn1}};
    }
    return {turn0, bytes + QStringList{"replace"}, {turn0, turn1}};
}

// An ID3v2 tag before the audio, saved with the trailer. Where the tags of the two turns have
// one size, they differ in the two bytes around the end of the file's first 4 KiB page and the
// trailers in their last byte: a save in place. Else each save rewrites the file.
LoopStart tagsStart(const QString& folder, bool sameSize) {
    QByteArray tags[2];
    if (sameSize) {
        tags[0] = tags[1] = test_tags::renderedTag(4, QStringLiteral("Title"), 6000);
        tags[1][4095] = tags[1][4096] = 'd';
    } else {
        tags[0] = test_tags::renderedTag(4, QStringLiteral("First"), 100);
        tags[1] = test_tags::renderedTag(3, QStringLiteral("Second take"), 3000);
    }
    const QByteArray audio = test_files::mpegAudio();
    QStringList arguments = {"127", "127", "tags"};
    for (int turn : {0, 1}) {
        const QString file = folder + "/.tag" + QString::number(turn);
        writeAll(file, tags[turn]);
        arguments << file;
    }
    const QByteArray turn0 = tags[0] + audio + trailerOfTurn(0, 127, 127);
    return {turn0, arguments, {turn0, tags[1] + audio + trailerOfTurn(1, 127, 127)}};
}

TEST(InterruptedSave, LeavesEveryTagWholeAfterTheNextClick) {
    constexpr int kKills = 200;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("song.mp3"));
    const std::vector<KillCase> cases = {
        {"replacing the trailer", [](auto& random) { return trailerStart(random, false); }, true},
        {"appending the trailer", [](auto& random) { return trailerStart(random, true); }, true},
        {"both tags in place", [&](auto&) { return tagsStart(folder.path(), true); }, true},
        {"both tags in a rewritten file", [&](auto&) { return tagsStart(folder.path(), false); },
         false},
    };
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // Where the kill falls: every other one halfway through one of the first writes, as where
    // the kernel ends a write short between two pages; the others at a random moment of a
    // save, or of its first millisecond, where its writes are (the rest of a slow save is the
    // file system releasing blocks). Counting the saves and timing them keeps those kills
    // among them however busy the machine and however slow the build; a spin, not a sleep,
    // since a sleep ends tens of microseconds late.
    std::uniform_int_distribution<int> killInWrite(0, 5);
    std::uniform_int_distribution<int> killInSave(2, 4);
    std::uniform_real_distribution<double> killWithinSave(0, 1);

    for (const KillCase& c : cases) {
        const Clock::time_point began = Clock::now();
        int torn = 0;
        int finished = 0;
        std::set<int> wholeSeen;
        QSet<QString> namesSeen;
        LoopStart start;
        for (int kill = 0; kill < kKills; ++kill) {
            start = c.start(random);
            writeAll(path, start.made);
            QProcess loop;
            const QStringList arguments = QStringList{path} + start.arguments;
            if (kill % 2 == 0) {
                ASSERT_TRUE(stopHalfwayThroughAWrite(loop, arguments, killInWrite(random)))
                    << c.what << ": " << loop.readAllStandardError().toStdString();
            } else {
                const std::optional<Clock::duration> saveTakes =
                    startAndTime(loop, arguments, killInSave(random));
                ASSERT_TRUE(saveTakes)
                    << c.what << ": " << loop.readAllStandardError().toStdString();
                const Clock::duration window =
                    std::min<Clock::duration>(*saveTakes, std::chrono::microseconds(1000));
                const Clock::time_point killAt =
                    Clock::now() +
                    std::chrono::duration_cast<Clock::duration>(window * killWithinSave(random));
                while (Clock::now() < killAt) {
                }
            }
            loop.kill();
            loop.waitForFinished();

            const id3::TrailerRead click = id3::readTrailerForEditing(test_files::pathOf(path));
            finished += click.recovery.outcome == storage::JournalRecovery::Outcome::Finished;
            const QByteArray left = readAll(path);
            const auto found = std::find(start.whole.begin(), start.whole.end(), left);
            if (found != start.whole.end()) {
                wholeSeen.insert(static_cast<int>(found - start.whole.begin()));
            } else if (++torn <= 3) {
                ADD_FAILURE() << c.what << ": kill " << kill << " left " << left.size()
                              << " bytes, ending in " << left.right(140).toHex().toStdString();
            }
            for (const QString& name : QDir(folder.path()).entryList(QDir::Files)) {
                namesSeen.insert(name);
            }
        }
        EXPECT_EQ(torn, 0) << c.what << ": torn by " << torn << " of " << kKills << " kills";
        // Else the loop never got past its first save, or the kills never fell inside a
        // journaled write, and the run proved nothing.
        EXPECT_GE(wholeSeen.size(), 2U) << c.what;
        if (c.journaled) {
            EXPECT_GT(finished, 0) << c.what;
        }
        std::printf("%s: %d of %d kills cut a write short that the click completed (%.1f s)\n",
                    c.what, finished, kKills,
                    std::chrono::duration<double>(Clock::now() - began).count());
        // What the file list shows: the file alone, and never a new file beside it.
        EXPECT_EQ(namesSeen, QSet<QString>{QStringLiteral("song.mp3")}) << c.what;
        // A new file a kill left under its hidden name goes with the next save.
        const id3::TagsWrite saved =
            id3::writeTags(test_files::pathOf(path), kill_test::trailerOfTurn(0, 3, 127), nullptr);
        EXPECT_TRUE(saved.trailer.saved) << c.what;
        EXPECT_EQ(
            QDir(folder.path()).entryList({QStringLiteral(".*saving")}, QDir::Files | QDir::Hidden),
            QStringList())
            << c.what;
    }
}

}  // namespace

// The playback engine with a real GStreamer pipeline, playing the test files into a fake sink,
// with no widget in sight.
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <limits>

#include "player/playback_engine.h"
#include "support/temp_files.h"

using player::PlaybackEngine;
using PlayState = player::Playback::PlayState;
using test_files::pathOf;

namespace {

// How long a loaded machine may take to start a file, or to settle in the state last asked for,
// a seek far into a file that has to be read up to there included. Each wait ends as soon as
// what it waits for has happened.
constexpr int kStartTimeoutMs = 30000;
constexpr int kSeekTimeoutMs = 30000;
constexpr int kOutcomeTimeoutMs = 30000;
constexpr int kOneHourCopies = 720;  // of a five-second file

QList<PlayState> newStates(const QSignalSpy& spy) {
    QList<PlayState> states;
    for (const QList<QVariant>& report : spy) {
        states << report.at(1).value<PlayState>();
    }
    return states;
}

// Gives the engine `file` and waits until it reports playing.
bool startsPlaying(PlaybackEngine& engine, const QString& file) {
    engine.setSource(pathOf(file));
    return QTest::qWaitFor([&] { return engine.state() == PlayState::Playing; }, kStartTimeoutMs);
}

// Whether the sound goes on: the position read twice, a third of a second apart.
bool soundGoesOn(const PlaybackEngine& engine) {
    const double before = engine.position();
    QTest::qWait(300);
    return engine.position() > before + 0.1;
}

// Waits 0 to 30 ms at random, handling what comes meanwhile; with 0, the next request follows
// at once, as requests that arrive together do. Returns the wait.
int randomGap() {
    const int gap = QRandomGenerator::global()->bounded(31);
    if (gap > 0) {
        QTest::qWait(gap);
    }
    return gap;
}

PlayState open(PlaybackEngine& engine, const QString& file) {
    engine.setSource(pathOf(file));
    return PlayState::Playing;
}

QString writeLongFile(const QTemporaryDir& folder, int copies = test_files::kLongMpegFileCopies) {
    const QString path = folder.filePath(QStringLiteral("long.mp3"));
    test_files::writeLongMpegFile(path, copies);
    return path;
}

// The errors logged, from any thread, each after its category ("mp3player.player: ...").
QMutex loggedLock;
QStringList loggedErrors;
QtMessageHandler testLibraryHandler = nullptr;

void keepLoggedError(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtCriticalMsg) {
        const QMutexLocker lock(&loggedLock);
        loggedErrors << QString::fromLatin1(context.category) + QStringLiteral(": ") + text;
    }
    testLibraryHandler(type, context, text);
}

// Whether an error was logged that starts with the first of `parts` and holds them all.
bool wasLogged(const QStringList& parts) {
    const QMutexLocker lock(&loggedLock);
    return std::any_of(loggedErrors.begin(), loggedErrors.end(), [&](const QString& line) {
        return line.startsWith(parts.front()) &&
               std::all_of(parts.begin(), parts.end(),
                           [&](const QString& part) { return line.contains(part); });
    });
}

}  // namespace

class PlaybackEngineTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testLibraryHandler = qInstallMessageHandler(keepLoggedError); }

    // Each file is told with its length once playing, and an empty source stops it at once.
    void playsEachKindOfFileWithItsExactLength_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<double>("length");
        // Lengths of the audio the files were made from.
        QTest::newRow("constant bitrate") << "cbr.mp3" << 4.0;
        QTest::newRow("variable bitrate with a Xing header") << "vbr_xing.mp3" << 5.0;
        QTest::newRow("variable bitrate without one") << "vbr_no_xing.mp3" << 5.0;
        QTest::newRow("ID3v2 header and ID3v1 trailer") << "id3v2_id3v1.mp3" << 4.0;
    }

    void playsEachKindOfFileWithItsExactLength() {
        QFETCH(QString, file);
        QFETCH(double, length);
        PlaybackEngine engine;
        double lengthWhenPlaying = -1;
        connect(&engine, &PlaybackEngine::stateChanged, this, [&](PlayState, PlayState now) {
            if (now == PlayState::Playing) {
                lengthWhenPlaying = engine.length();
            }
        });

        QVERIFY(startsPlaying(engine, test_files::testDataFile(file)));

        QVERIFY2(qAbs(lengthWhenPlaying - length) < 0.1,
                 qPrintable(QStringLiteral("length %1 s").arg(lengthWhenPlaying)));
        QVERIFY(test_files::isHeldOpen(test_files::testDataFile(file)));

        QSignalSpy reports(&engine, &PlaybackEngine::stateChanged);
        engine.setSource({});
        QCOMPARE(newStates(reports), QList<PlayState>({PlayState::Stopped}));
        QCOMPARE(engine.statusText(), QStringLiteral("Stopped ") + file);
        QVERIFY2(!test_files::isHeldOpen(test_files::testDataFile(file)), "the file is still open");
        QCOMPARE(engine.position(), 0.0);
        // Whatever the file still had on its way is dropped.
        QTest::qWait(200);
        QCOMPARE(newStates(reports), QList<PlayState>({PlayState::Stopped}));
    }

    // A file played to its end, its position following the clock, or cut to nothing while it
    // plays.
    void atTheEndItStopsReleasesTheFileAndKeepsWherePlayingEnded_data() {
        QTest::addColumn<bool>("cutToNothing");
        QTest::newRow("played to its end") << false;
        QTest::newRow("cut to nothing while it plays") << true;
    }

    void atTheEndItStopsReleasesTheFileAndKeepsWherePlayingEnded() {
        QFETCH(bool, cutToNothing);
        const QTemporaryDir folder;
        const QString file = cutToNothing ? writeLongFile(folder, kOneHourCopies)
                                          : test_files::testDataFile(QStringLiteral("cbr.mp3"));
        PlaybackEngine engine;
        QSignalSpy reports(&engine, &PlaybackEngine::stateChanged);
        engine.setAutoRewind(false);
        QVERIFY(startsPlaying(engine, file));
        const double length = engine.length();
        if (cutToNothing) {
            QVERIFY(QFile::resize(file, 0));
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(engine.position() > 0.2, kStartTimeoutMs);
            const double startPosition = engine.position();
            QElapsedTimer clock;
            clock.start();
            QTRY_VERIFY_WITH_TIMEOUT(engine.position() > startPosition + 1.0, kStartTimeoutMs);
            const double played = engine.position() - startPosition;
            const double elapsed = clock.elapsed() / 1000.0;
            // Never ahead of the clock; behind it only as far as a busy machine holds it back.
            QVERIFY2(played < elapsed + 0.3 && played > elapsed / 2,
                     qPrintable(QStringLiteral("played %1 s in %2 s").arg(played).arg(elapsed)));
        }

        QTRY_COMPARE_WITH_TIMEOUT(newStates(reports).last(), PlayState::Stopped, 20000);
        QVERIFY(!test_files::isHeldOpen(file));
        const double kept = engine.position();
        // A file cut short stops where its last sound played, long before its length.
        const bool expected = cutToNothing ? kept > 0.5 && kept < 60 : qAbs(kept - length) < 0.1;
        QVERIFY2(expected, qPrintable(QStringLiteral("position %1 of %2").arg(kept).arg(length)));
        QCOMPARE(engine.length(), length);
    }

    void neverReportsPlayingForWhatCannotBePlayedAndLogsWhy_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("told");
        // What GStreamer said: the element, the error's domain and code, its message, and its
        // debug text.
        QTest::addColumn<QStringList>("log");
        QTest::newRow("text under an .mp3 name")
            << test_files::testDataFile("garbage.mp3")
            << "Cannot play garbage.mp3: not an audio file"
            << QStringList({"mp3player.player: GStreamer error from decodebin",
                            ": gst-stream-error-quark 5: This appears to be a text file (",
                            "decodebin cannot decode plain text files)"});
        QTest::newRow("a folder") << QDir::tempPath()
                                  << "Cannot play " + QFileInfo(QDir::tempPath()).fileName() +
                                         ": it is a folder"
                                  << QStringList();
        QTest::newRow("a missing file")
            << QStringLiteral("/nonexistent/gone.mp3")
            << "Cannot play gone.mp3: the file does not exist" << QStringList();
    }

    void neverReportsPlayingForWhatCannotBePlayedAndLogsWhy() {
        QFETCH(QString, source);
        QFETCH(QString, told);
        QFETCH(QStringList, log);
        PlaybackEngine engine;
        QSignalSpy reports(&engine, &PlaybackEngine::stateChanged);
        loggedLock.lock();
        loggedErrors.clear();
        loggedLock.unlock();

        engine.setSource(pathOf(source));

        QTRY_COMPARE_WITH_TIMEOUT(engine.statusText(), told, kStartTimeoutMs);
        QCoreApplication::processEvents();
        // A file GStreamer takes on is told at once as on its way, until it finds it cannot.
        QVERIFY2(!newStates(reports).contains(PlayState::Playing), "reported as playing");
        QCOMPARE(engine.state(), PlayState::Stopped);
        QVERIFY(!test_files::isHeldOpen(source));
        QVERIFY2(log.isEmpty() || wasLogged(log), qPrintable(log.join(QStringLiteral(" ... "))));
    }

    // A long file is told as playing at once and its counted length follows. Cut short while
    // it is counted, its count is dropped for GStreamer's own estimate and it plays on.
    void aFileIsToldAsPlayingAtOnceAndItsCountedLengthFollowsUnlessItIsCutShort() {
        const QTemporaryDir folder;
        const QString file = writeLongFile(folder);
        const double counted = test_files::kLongMpegFileCopies * 5.0;
        PlaybackEngine engine;
        QSignalSpy reports(&engine, &PlaybackEngine::stateChanged);
        QSignalSpy lengths(&engine, &PlaybackEngine::lengthChanged);

        engine.setSource(pathOf(file));

        // Told at once, long before the count ends, at the file's first moments.
        QCOMPARE(newStates(reports), QList<PlayState>({PlayState::Waiting}));
        QVERIFY(engine.position() < 1.0);
        QTRY_VERIFY_WITH_TIMEOUT(newStates(reports).contains(PlayState::Playing), 60000);
        QCOMPARE(newStates(reports).first(), PlayState::Waiting);
        QVERIFY2(qAbs(engine.length() - counted) < counted / 50,
                 qPrintable(QStringLiteral("length %1 s").arg(engine.length())));
        // The exact length is told as soon as it is known, for those that show it.
        QVERIFY(!lengths.isEmpty());
        QCOMPARE(lengths.last().at(0).toDouble(), engine.length());

        engine.setSource({});
        reports.clear();
        engine.setSource(pathOf(file));
        QVERIFY(QFile::resize(file, 100000));
        QTRY_VERIFY_WITH_TIMEOUT(newStates(reports).contains(PlayState::Playing) ||
                                     newStates(reports).last() == PlayState::Stopped,
                                 60000);
        QVERIFY2(engine.length() < counted - 1, "the length of the file before it was cut");
    }

    // The count of a long file's length ends with a new source or with the player, and closing
    // the player while it plays releases the file it played.
    void aNewSourceOrTheEndOfThePlayerEndsWhatTheOldOneHeld() {
        const QTemporaryDir folder;
        const QString file = writeLongFile(folder);
        const QString played = test_files::testDataFile(QStringLiteral("cbr.mp3"));
        auto engine = std::make_unique<PlaybackEngine>();

        engine->setSource(pathOf(file));
        QVERIFY(startsPlaying(*engine, played));
        QVERIFY2(qAbs(engine->length() - 4.0) < 0.1, "the length of the file before");
        engine.reset();
        QVERIFY2(!test_files::isHeldOpen(played), "the file stayed open after the player was gone");

        engine = std::make_unique<PlaybackEngine>();
        engine->setSource(pathOf(file));
        engine.reset();
        QVERIFY(!test_files::isHeldOpen(file));
    }

    void theLastRequestWinsAndTheStateToldIsThePipelines_data() {
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<PlayState>("outcome");
        const auto row = [](const char* name, const char* requests, PlayState outcome) {
            QTest::newRow(name) << QString::fromLatin1(requests).split(QLatin1Char(' ')) << outcome;
        };
        row("play then pause", "open pause", PlayState::Paused);
        row("pause then play", "open pause play", PlayState::Playing);
        row("pause then play, once playing", "open wait pause play", PlayState::Playing);
        row("play then pause, once paused", "open wait pause play pause", PlayState::Paused);
        row("seek while waiting", "open seek", PlayState::Playing);
        row("seek while paused, then play", "open wait pause seek play", PlayState::Playing);
        row("source change while paused", "open wait pause open", PlayState::Playing);
        row("stop then play", "open stop play", PlayState::Playing);
        row("play then stop", "open wait pause play stop", PlayState::Stopped);
    }

    // Each request comes 0 to 30 ms after the one before, so that it meets the pipeline's
    // reports of the earlier ones at every stage.
    void theLastRequestWinsAndTheStateToldIsThePipelines() {
        QFETCH(QStringList, requests);
        QFETCH(PlayState, outcome);
        const QTemporaryDir folder;
        const QString file = writeLongFile(folder, kOneHourCopies);
        PlaybackEngine engine;
        QString gaps;
        const QHash<QString, std::function<void()>> ask{
            {"open", [&] { engine.setSource(pathOf(file)); }},
            {"wait",
             [&] {
                 QVERIFY(QTest::qWaitFor([&] { return engine.state() == PlayState::Playing; },
                                         kStartTimeoutMs));
             }},
            {"pause", [&] { engine.pause(); }},
            {"play", [&] { engine.play(); }},
            {"seek", [&] { engine.seek(600); }},
            {"stop", [&] { engine.stop(); }},
        };
        for (const QString& request : requests) {
            gaps += QStringLiteral(" %1 after %2 ms").arg(request).arg(randomGap());
            ask[request]();
        }
        endsAsTold(engine, outcome, gaps);
        if (requests.contains(QLatin1String("seek"))) {
            QVERIFY2(engine.position() >= 600, qPrintable(gaps));
        }
    }

    // Random sequences of requests at random gaps end in the state of the last one. A run
    // makes MP3PLAYER_ENGINE_SEQUENCES of them (5 unless set); tools/run-stress makes a
    // hundred beside three busy processes.
    void randomRequestSequencesEndInTheStateOfTheLastRequest() {
        const QTemporaryDir folder;
        const QString first = writeLongFile(folder, kOneHourCopies);
        const QString second = folder.filePath(QStringLiteral("second.mp3"));
        QVERIFY(QFile::copy(first, second));
        // Each request, made of the engine, and the state it leaves wanted after `wanted`.
        using Request = std::function<PlayState(PlaybackEngine&, PlayState wanted)>;
        const QList<std::pair<QString, Request>> requests{
            {"open", [&](auto& engine, auto) { return open(engine, first); }},
            {"new source", [&](auto& engine, auto) { return open(engine, second); }},
            {"play",
             [](auto& engine, auto) {
                 engine.play();
                 return PlayState::Playing;
             }},
            {"pause",
             [](auto& engine, auto wanted) {
                 engine.pause();
                 return wanted == PlayState::Playing ? PlayState::Paused : wanted;
             }},
            {"stop",
             [](auto& engine, auto) {
                 engine.stop();
                 return PlayState::Stopped;
             }},
            {"seek",
             [](auto& engine, auto wanted) {
                 engine.seek(QRandomGenerator::global()->bounded(3000.0));
                 return wanted;
             }},
        };
        const int sequences = qEnvironmentVariableIsSet("MP3PLAYER_ENGINE_SEQUENCES")
                                  ? qEnvironmentVariableIntValue("MP3PLAYER_ENGINE_SEQUENCES")
                                  : 5;
        for (int sequence = 1; sequence <= sequences && !QTest::currentTestFailed(); ++sequence) {
            PlaybackEngine engine;
            PlayState wanted = PlayState::Stopped;
            QString how = QStringLiteral("sequence %1:").arg(sequence);
            const int count = QRandomGenerator::global()->bounded(2, 7);
            for (int i = 0; i < count; ++i) {
                const auto& [name, request] =
                    requests.at(i == 0 ? 0 : QRandomGenerator::global()->bounded(requests.size()));
                how += QStringLiteral(" %1 after %2 ms").arg(name).arg(randomGap());
                wanted = request(engine, wanted);
            }
            endsAsTold(engine, wanted, how);
            if (wanted == PlayState::Stopped) {
                QVERIFY2(engine.position() == 0.0, qPrintable(how));
            }
        }
    }

    // Some follow each other at once, as requests that arrive together do; after the others,
    // once what the pipeline posted meanwhile is handled, the state told is the last asked.
    void aThousandPlayPausesEachTakeEffect() {
        const QTemporaryDir folder;
        const QString file = writeLongFile(folder, kOneHourCopies);
        PlaybackEngine engine;
        QVERIFY(startsPlaying(engine, file));
        bool playing = true;
        for (int done = 1; done <= 1000; ++done) {
            engine.pauseOrResume();
            playing = !playing;
            const int gap = QRandomGenerator::global()->bounded(31);
            if (gap > 0) {
                QCoreApplication::processEvents();
                QTRY_VERIFY2_WITH_TIMEOUT(
                    engine.state() == (playing ? PlayState::Playing : PlayState::Paused),
                    qPrintable(QStringLiteral("after %1 play/pause").arg(done)), kOutcomeTimeoutMs);
                QTest::qWait(gap);
            }
        }
        endsAsTold(engine, PlayState::Playing, QStringLiteral("after 1,000 play/pause"));
    }

    void seeksLandWithinTenMillisecondsOnAnHourLongFile() {
        const QTemporaryDir folder;
        const QString file = writeLongFile(folder, kOneHourCopies);
        PlaybackEngine engine;
        QSignalSpy seeks(&engine, &PlaybackEngine::seeked);
        QVERIFY(startsPlaying(engine, file));
        engine.pause();  // so that the position stands where the seek took it
        const double end = engine.length();
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double infinity = std::numeric_limits<double>::infinity();
        // Asked for, then where it lands; a NaN is ignored and the next seek is the only one.
        const QList<std::pair<double, double>> table{
            {1234.5, 1234.5},     {0.3, 0.3},      {3599, 3599},
            {1800.123, 1800.123}, {nan, 1800.123}, {-5, 0},
            {end + 100, end},     {-infinity, 0},  {infinity, end},
            {2345.678, 2345.678}, {1e300, end},    {0.01, 0.01},
        };
        for (const auto& [asked, lands] : table) {
            const qsizetype seeksBefore = seeks.size();
            engine.seek(asked);
            if (std::isnan(asked)) {
                continue;
            }
            // The first seek far into a file with no table of its frames reads up to there.
            QVERIFY(seeks.wait(kSeekTimeoutMs));
            QCOMPARE(seeks.size(), seeksBefore + 1);
            const double told = seeks.last().at(0).toDouble();
            const QString where = QStringLiteral("asked %1 s, at %2 s, told %3 s")
                                      .arg(asked)
                                      .arg(engine.position())
                                      .arg(told);
            QVERIFY2(qAbs(engine.position() - lands) < 0.01 && qAbs(told - lands) < 0.01,
                     qPrintable(where));
        }
        QCOMPARE(engine.state(), PlayState::Paused);
    }

    void aVolumeIsTakenToItsRangeAndWhatIsNoNumberIsIgnored() {
        PlaybackEngine engine;
        QSignalSpy told(&engine, &PlaybackEngine::volumeChanged);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double infinity = std::numeric_limits<double>::infinity();
        const QList<std::pair<double, double>> table{
            {0.5, 0.5}, {nan, 0.5}, {infinity, 0.5}, {-infinity, 0.5},
            {-1, 0},    {2, 1},     {0.25, 0.25},
        };
        for (const auto& [asked, kept] : table) {
            engine.setVolume(asked);
            QCOMPARE(engine.volume(), kept);
        }
        QCOMPARE(told.size(), 4);
    }

private:
    // The state told is the one the last request asked for, the pipeline does what it tells,
    // and no late report changes that.
    static void endsAsTold(PlaybackEngine& engine, PlayState outcome, const QString& how) {
        QTRY_VERIFY2_WITH_TIMEOUT(engine.state() == outcome, qPrintable(how), kOutcomeTimeoutMs);
        QSignalSpy reports(&engine, &PlaybackEngine::stateChanged);
        if (outcome == PlayState::Playing) {
            // A seek far into the file reads up to there before the sound goes on.
            QTRY_VERIFY2_WITH_TIMEOUT(soundGoesOn(engine), qPrintable(how), kOutcomeTimeoutMs);
        } else {
            const double before = engine.position();
            QTest::qWait(300);
            QVERIFY2(engine.position() == before,
                     qPrintable(how + QStringLiteral(": moved from %1 s to %2 s")
                                          .arg(before, 0, 'f', 6)
                                          .arg(engine.position(), 0, 'f', 6)));
        }
        QVERIFY2(reports.isEmpty(), qPrintable(how));
    }
};

QTEST_MAIN(PlaybackEngineTest)
#include "playback_engine_test.moc"

// The desktop's media controls (MPRIS) against a private session bus, over a fake playback and
// without a window, steered from a second connection as a desktop's media panel would.
#include <QBuffer>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QImage>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <limits>

#include "desktop/mpris_service.h"
#include "player/playback.h"
#include "support/id3v2_tags.h"
#include "support/temp_files.h"

namespace {

const QString kName = QStringLiteral("org.mpris.MediaPlayer2.mp3player");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
// As long as a loaded machine may keep a started player from answering.
constexpr int kCallTimeoutMs = 30000;
constexpr qlonglong kLongest = std::numeric_limits<qlonglong>::max();

using PlayState = player::Playback::PlayState;

// Records the requests it gets; reports only what a test makes it report.
class FakePlayback : public player::Playback {
public:
    PlayState state() const override { return state_; }
    core::FilePath source() const override { return file; }
    double length() const override { return seconds; }
    double position() const override { return at; }
    double volume() const override { return 1; }
    QString statusText() const override { return {}; }
    void setSource(const core::FilePath& path) override {
        calls << QStringLiteral("source:") + path.exactSpelling();
    }
    void setAutoRewind(bool) override {}
    void play() override { calls << QStringLiteral("play"); }
    void pause() override { calls << QStringLiteral("pause"); }
    void pauseOrResume() override { calls << QStringLiteral("pauseOrResume"); }
    void stop() override { calls << QStringLiteral("stop"); }
    void seek(double to) override { calls << QStringLiteral("seek:%1").arg(to); }
    void setVolume(double level) override { calls << QStringLiteral("volume:%1").arg(level); }

    void report(PlayState now) {
        const PlayState old = std::exchange(state_, now);
        emit stateChanged(old, now);
    }

    QStringList calls;
    core::FilePath file;
    double seconds = 0;
    double at = 0;

private:
    PlayState state_ = PlayState::Stopped;
};

}  // namespace

class MprisServiceTest : public QObject {
    Q_OBJECT

public slots:
    // What the player said changed, as a desktop hears it.
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList&) {
        if (interface == kPlayer) {
            told_ << changed;
        }
    }
    void seeked(qlonglong position) { seeks_ << position; }

private slots:
    void initTestCase() {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty()) {
            QSKIP("dbus-daemon is not installed");
        }
        bus_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--print-address=1")});
        QVERIFY(bus_.waitForStarted());
        QTRY_VERIFY(bus_.canReadLine());
        const QByteArray address = bus_.readLine().trimmed();
        // The program's own connection is the session bus, as in main().
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        client_ =
            QDBusConnection::connectToBus(QString::fromLatin1(address), QStringLiteral("desktop"));
        QVERIFY(client_.isConnected());
        QVERIFY(client_.connect(QString(), kPath, kProperties, QStringLiteral("PropertiesChanged"),
                                this, SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
        QVERIFY(client_.connect(QString(), kPath, kPlayer, QStringLiteral("Seeked"), this,
                                SLOT(seeked(qlonglong))));
    }

    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
        bus_.terminate();
        bus_.waitForFinished();
    }

    void init() {
        told_.clear();
        seeks_.clear();
    }

    // Each test's service takes the player's name anew; the program started by one needs it free.
    void cleanup() { QDBusConnection::sessionBus().unregisterService(kName); }

    // A desktop's session with the player: the chosen file played, its tag and its length told, a
    // seek told where it landed, the requests passed on, and raising and quitting left to the
    // program.
    void playsTheChosenFileTellsWhatPlaysAndPassesRequestsOn() {
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("long.mp3"));
        // Saved by this program, the title is padded with spaces, which are not shown.
        const QByteArray title = QByteArray("Long Tone").leftJustified(30, ' ');
        test_files::writeAll(file, test_files::trailer(title, "An Artist", "Album"));
        FakePlayback playback;
        int chosenPlays = 0;
        desktop::MprisService service(playback, QStringLiteral("Tamsel's MP3 Player"));
        connect(&service, &desktop::MprisService::playChosenFileRequested, this, [&] {
            ++chosenPlays;
            playback.file = core::FilePath(file.toUtf8());
            playback.report(PlayState::Waiting);
        });
        QSignalSpy raises(&service, &desktop::MprisService::raiseRequested);
        QSignalSpy quits(&service, &desktop::MprisService::quitRequested);
        QCOMPARE(service.publish(QDBusConnection::sessionBus()), kName);
        QVERIFY(client_.interface()->isServiceRegistered(kName));

        call(QStringLiteral("Play"));
        QCOMPARE(chosenPlays, 1);
        QTRY_COMPARE(told_.size(), 1);
        QCOMPARE(told_.last().value("PlaybackStatus").toString(), QStringLiteral("Playing"));
        QVariantMap metadata = qdbus_cast<QVariantMap>(told_.last().value("Metadata"));
        QCOMPARE(metadata.value("xesam:title").toString(), QStringLiteral("Long Tone"));
        QCOMPARE(metadata.value("xesam:artist").toStringList(), QStringList({"An Artist"}));
        QCOMPARE(metadata.value("xesam:album").toString(), QStringLiteral("Album"));
        QCOMPARE(metadata.value("xesam:url").toString(), QUrl::fromLocalFile(file).toString());
        QVERIFY(metadata.value("mpris:trackid").canConvert<QDBusObjectPath>());
        QVERIFY(!metadata.contains("mpris:length"));

        // The exact length, once counted, is told without being asked for.
        playback.seconds = 3629.97551;
        emit playback.lengthChanged(playback.seconds);
        QTRY_COMPARE(told_.size(), 2);
        metadata = qdbus_cast<QVariantMap>(told_.last().value("Metadata"));
        QCOMPARE(metadata.value("mpris:length").toLongLong(), 3629975510LL);
        QCOMPARE(qdbus_cast<QVariantMap>(get(kPlayer, "Metadata").value<QDBusArgument>()),
                 metadata);

        call(QStringLiteral("SetPosition"), {metadata.value("mpris:trackid"), 1234500000LL});
        playback.at = 1234.25;
        emit playback.seeked(playback.at);
        QTRY_COMPARE(seeks_, QList<qlonglong>({1234250000}));
        QCOMPARE(get(kPlayer, "Position").toLongLong(), 1234250000);

        call(QStringLiteral("PlayPause"));
        call(QStringLiteral("Pause"));
        call(QStringLiteral("Play"));
        call(QStringLiteral("Stop"));
        QCOMPARE(playback.calls,
                 QStringList({"seek:1234.5", "pauseOrResume", "pause", "play", "stop"}));
        QCOMPARE(chosenPlays, 1);
        playback.report(PlayState::Paused);
        playback.report(PlayState::Stopped);
        QTRY_COMPARE(told_.size(), 4);
        QCOMPARE(told_.at(2).value("PlaybackStatus").toString(), QStringLiteral("Paused"));
        QCOMPARE(told_.at(3).value("PlaybackStatus").toString(), QStringLiteral("Stopped"));
        QVERIFY(qdbus_cast<QVariantMap>(get(kPlayer, "Metadata").value<QDBusArgument>()).isEmpty());

        const QString root = QStringLiteral("org.mpris.MediaPlayer2");
        QCOMPARE(get(root, "Identity").toString(), QStringLiteral("Tamsel's MP3 Player"));
        call(QStringLiteral("Raise"), {}, root);
        QCOMPARE(raises.size(), 1);
        QCOMPARE(quits.size(), 0);
        call(QStringLiteral("Quit"), {}, root);
        QCOMPARE(quits.size(), 1);
    }

    void takesOnlyRequestsThatMakeSense_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QStringList>("calls");
        const QVariant track = QVariant::fromValue(QDBusObjectPath("/mp3player/track/1"));
        const QVariant other = QVariant::fromValue(QDBusObjectPath("/mp3player/track/7"));
        const auto volume = [](double level) {
            return QVariantList{kPlayer, QStringLiteral("Volume"),
                                QVariant::fromValue(QDBusVariant(level))};
        };
        QTest::newRow("forward") << "Seek" << QVariantList{qlonglong(2'500'000)}
                                 << QStringList({"seek:3.5"});
        QTest::newRow("back before the start")
            << "Seek" << QVariantList{qlonglong(-5'000'000)} << QStringList({"seek:0"});
        QTest::newRow("past the end")
            << "Seek" << QVariantList{qlonglong(10'000'000)} << QStringList();
        QTest::newRow("the longest offset") << "Seek" << QVariantList{kLongest} << QStringList();
        QTest::newRow("the longest offset back")
            << "Seek" << QVariantList{-kLongest} << QStringList({"seek:0"});
        QTest::newRow("the very lowest offset")
            << "Seek" << QVariantList{-kLongest - 1} << QStringList({"seek:0"});
        QTest::newRow("to a place") << "SetPosition" << QVariantList{track, qlonglong(8'000'000)}
                                    << QStringList({"seek:8"});
        QTest::newRow("to the end") << "SetPosition" << QVariantList{track, qlonglong(10'000'000)}
                                    << QStringList({"seek:10"});
        QTest::newRow("in another track")
            << "SetPosition" << QVariantList{other, qlonglong(8'000'000)} << QStringList();
        QTest::newRow("to before the start")
            << "SetPosition" << QVariantList{track, qlonglong(-1)} << QStringList();
        QTest::newRow("to the longest place")
            << "SetPosition" << QVariantList{track, kLongest} << QStringList();
        QTest::newRow("a volume") << "Set" << volume(0.5) << QStringList({"volume:0.5"});
        QTest::newRow("a volume that is no number")
            << "Set" << volume(std::numeric_limits<double>::quiet_NaN()) << QStringList();
        QTest::newRow("an infinite volume")
            << "Set" << volume(std::numeric_limits<double>::infinity()) << QStringList();
    }

    void takesOnlyRequestsThatMakeSense() {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QStringList, calls);
        FakePlayback playback;
        desktop::MprisService service(playback, QString());
        QCOMPARE(service.publish(QDBusConnection::sessionBus()), kName);
        playback.seconds = 10;
        playback.at = 1;
        playback.report(PlayState::Playing);

        call(method, arguments, method == QLatin1String("Set") ? kProperties : kPlayer);
        QCOMPARE(playback.calls, calls);
    }

    // The real program as a file manager and a media panel meet it: --help and --version need
    // no display; a start with a path it cannot open says why; a later start hands its file to
    // the running window and ends; Next and Previous go along the file list; OpenUri opens and
    // plays a file from anywhere; the panel gets the playing file's cover as a file of the
    // program's own, which goes with the next track and with the program; Quit ends it without
    // the credit box.
    void theProgramOpensWhatTheDesktopNamesInItsOneWindow() {
        QTemporaryDir work;
        const QString music = work.filePath(QStringLiteral("music"));
        const QString other = work.filePath(QStringLiteral("other"));
        for (const QString& file :
             {music + "/a.mp3", music + "/b.mp3", music + "/c.mp3", other + "/Caf\u00E9.mp3"}) {
            QVERIFY(QDir().mkpath(QFileInfo(file).path()));
            // Minutes long, so that none ends while the test goes on.
            test_files::writeLongMpegFile(file, 30);
        }
        QByteArray cover;
        QBuffer coverBuffer(&cover);
        QVERIFY(QImage(4, 3, QImage::Format_RGB32).save(&coverBuffer, "PNG"));
        const QString covered = music + "/a.mp3";
        test_files::writeAll(covered, test_tags::tag(3, test_tags::pictureFrame(3, 3, cover), 0) +
                                          test_files::readAll(covered));
        const auto url = [](const QString& file) {
            return QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
        };
        const auto metadata = [this](const char* key) {
            return qdbus_cast<QVariantMap>(get(kPlayer, "Metadata").value<QDBusArgument>())
                .value(QString::fromLatin1(key))
                .toString();
        };
        const auto playing = [&] { return metadata("xesam:url"); };
        const auto coverFolders = [&] {
            return QDir(work.path()).entryList({QStringLiteral("mp3player-covers-*")}, QDir::Dirs);
        };
        const auto nextAndPrevious = [this] {
            return QList<bool>{get(kPlayer, "CanGoNext").toBool(),
                               get(kPlayer, "CanGoPrevious").toBool()};
        };
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), work.path());
        const auto start = [&](QProcess& program, const QStringList& arguments) {
            program.setProcessEnvironment(environment);
            program.setWorkingDirectory(work.path());
            program.start(QStringLiteral(MP3PLAYER_BINARY), arguments);
            QVERIFY(program.waitForStarted());
        };

        QProcessEnvironment noDisplay = environment;
        noDisplay.remove(QStringLiteral("DISPLAY"));
        noDisplay.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        for (const auto& [option, says] : {std::pair("--help", "Usage:"), {"--version", " 1.0"}}) {
            QProcess text;
            text.setProcessEnvironment(noDisplay);
            text.start(QStringLiteral(MP3PLAYER_BINARY), {QString::fromLatin1(option)});
            QVERIFY2(text.waitForFinished(10000), option);
            QCOMPARE(text.exitCode(), 0);
            QVERIFY2(text.readAllStandardOutput().contains(says), option);
        }

        QProcess program;
        start(program, {QStringLiteral("/nonexistent/x.mp3")});
        QTRY_VERIFY_WITH_TIMEOUT(client_.interface()->isServiceRegistered(kName), 10000);
        QTRY_VERIFY(
            client_.interface()->isServiceRegistered(QStringLiteral("org.tamsel.mp3player")));
        QVERIFY2(program.readAllStandardError().contains(
                     "mp3player: Cannot open /nonexistent/x.mp3: it does not exist.\n"),
                 "no reason on stderr");
        QCOMPARE(nextAndPrevious(), QList<bool>({false, false}));

        QProcess second;
        start(second, {QStringLiteral("music/b.mp3")});
        QVERIFY(second.waitForFinished(5000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(nextAndPrevious(), QList<bool>({true, true}));
        // Told without being asked; the signal may come after the answers to the Gets.
        QTRY_COMPARE(told_.value(told_.size() - 1).value("CanGoNext"), QVariant(true));
        call(QStringLiteral("Play"));
        QTRY_COMPARE(playing(), url(music + "/b.mp3"));

        call(QStringLiteral("Next"));
        QTRY_COMPARE(playing(), url(music + "/c.mp3"));
        QCOMPARE(nextAndPrevious(), QList<bool>({false, true}));
        call(QStringLiteral("Next"));
        call(QStringLiteral("Previous"));
        call(QStringLiteral("Previous"));
        QTRY_COMPARE(playing(), url(music + "/a.mp3"));
        call(QStringLiteral("Previous"));
        QCOMPARE(nextAndPrevious(), QList<bool>({true, false}));
        QCOMPARE(playing(), url(music + "/a.mp3"));
        const QString coverFile = QUrl(metadata("mpris:artUrl")).toLocalFile();
        QCOMPARE(test_files::readAll(coverFile), cover);
        QCOMPARE(QFileInfo(coverFile).path(), work.filePath(coverFolders().value(0)));
        QCOMPARE(QFileInfo(QFileInfo(coverFile).path()).permissions() & 0x0077,
                 QFileDevice::Permissions());

        call(QStringLiteral("OpenUri"), {url(other + "/Caf\u00E9.mp3")});
        QTRY_COMPARE(playing(), url(other + "/Caf\u00E9.mp3"));
        QCOMPARE(nextAndPrevious(), QList<bool>({false, false}));
        QCOMPARE(metadata("mpris:artUrl"), QString());
        QVERIFY(!QFile::exists(coverFile));
        QDBusMessage web =
            QDBusMessage::createMethodCall(kName, kPath, kPlayer, QStringLiteral("OpenUri"));
        web << QStringLiteral("https://localhost/a.mp3");
        QCOMPARE(client_.call(web).errorName(),
                 QStringLiteral("org.freedesktop.DBus.Error.NotSupported"));
        // A folder opens in the lists and plays nothing; Next then starts at the list's top.
        call(QStringLiteral("OpenUri"), {url(music)});
        QTRY_COMPARE(nextAndPrevious(), QList<bool>({true, false}));
        QCOMPARE(playing(), url(other + "/Caf\u00E9.mp3"));
        call(QStringLiteral("Next"));
        QTRY_COMPARE(playing(), url(music + "/a.mp3"));
        const QString root = QStringLiteral("org.mpris.MediaPlayer2");
        QCOMPARE(get(root, "SupportedUriSchemes").toStringList(), QStringList({"file"}));
        QVERIFY(get(root, "SupportedMimeTypes").toStringList().contains("audio/mpeg"));

        call(QStringLiteral("Quit"), {}, root);
        // The wait for the answer may already have seen the program end.
        QTRY_VERIFY2_WITH_TIMEOUT(program.state() == QProcess::NotRunning,
                                  "still running: the credit box waits?", 10000);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        QCOMPARE(coverFolders(), QStringList());
    }

    void withoutABusThePlayerIsNotPublished() {
        FakePlayback playback;
        desktop::MprisService service(playback, QString());
        const QDBusConnection none = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none"));
        QVERIFY(service.publish(none).isEmpty());
        QDBusConnection::disconnectFromBus(QStringLiteral("none"));
    }

private:
    // A call as the desktop makes it. The player may answer from this thread's event loop, which
    // runs while the answer is awaited. Qt's own wait with an event loop (BlockWithGui) can miss
    // an answer that comes in as it begins, and then waits for ever; whether the answer is in is
    // asked of the call itself instead. After a failure the calls that follow fail at once, so
    // that the test ends with its first reason.
    QDBusMessage call(const QString& method, const QVariantList& arguments = {},
                      const QString& interface = kPlayer) {
        if (QTest::currentTestFailed()) {
            return {};
        }
        QDBusMessage message = QDBusMessage::createMethodCall(kName, kPath, interface, method);
        message.setArguments(arguments);
        QDBusPendingCall pending = client_.asyncCall(message, kCallTimeoutMs);
        [&] {
            QVERIFY2(QTest::qWaitFor([&] { return pending.isFinished(); }, kCallTimeoutMs + 5000),
                     qPrintable(method));
            QVERIFY2(pending.reply().type() == QDBusMessage::ReplyMessage,
                     qPrintable(method + ": " + pending.reply().errorMessage()));
        }();
        return pending.reply();
    }

    QVariant get(const QString& interface, const char* property) {
        const QDBusMessage reply =
            call(QStringLiteral("Get"), {interface, QString::fromLatin1(property)}, kProperties);
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    QProcess bus_;
    QDBusConnection client_{QString()};
    QList<QVariantMap> told_;
    QList<qlonglong> seeks_;
};

QTEST_MAIN(MprisServiceTest)
#include "mpris_service_test.moc"

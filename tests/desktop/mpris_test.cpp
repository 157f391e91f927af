// The desktop's media controls (MPRIS) against a private session bus: the window with the real
// media strip, steered from a second connection as a desktop's media panel would.
#include <QAbstractButton>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <cmath>

#include "app/form1.h"
#include "app/mpris_service.h"
#include "browser/file_list.h"
#include "player/mpeg_audio_duration.h"
#include "support/fake_media_component.h"
#include "support/message_boxes.h"
#include "support/temp_files.h"

namespace {

const QString kName = QStringLiteral("org.mpris.MediaPlayer2.mp3player");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr int kStartTimeoutMs = 5000;

}  // namespace

class MprisTest : public QObject {
    Q_OBJECT

public slots:
    // What the player said changed, as a desktop hears it.
    void propertiesChanged(const QString& interface, const QVariantMap& changed,
                           const QStringList&) {
        if (interface == kPlayer && changed.contains(QStringLiteral("PlaybackStatus"))) {
            toldStatuses_ << changed.value(QStringLiteral("PlaybackStatus")).toString();
        }
    }

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
    }

    void cleanupTestCase() {
        QDBusConnection::disconnectFromBus(QStringLiteral("desktop"));
        bus_.terminate();
        bus_.waitForFinished();
    }

    // Each test's window takes the player's name anew; the program started by one needs it free.
    void cleanup() { QDBusConnection::sessionBus().unregisterService(kName); }

    void playsPausesAndStopsTheChosenFileAndTellsItsTag() {
        QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("long.mp3"));
        const QByteArray audio =
            test_files::readAll(test_files::testDataFile(QStringLiteral("vbr_no_xing.mp3")));
        // Saved by this program, the title is padded with spaces, which are not shown.
        const QByteArray title = QByteArray("Long Tone").leftJustified(30, ' ');
        test_files::writeAll(file,
                             audio.repeated(4) + test_files::trailer(title, "An Artist", "Album"));
        const QString previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
        Form1 window(createSystemMediaComponent());
        QDir::setCurrent(previousFolder);
        window.show();
        QSignalSpy reports(&window.mediaPlayer(), &MediaComponent::playStateChanged);
        QCOMPARE(mpris::publish(window, QDBusConnection::sessionBus()), kName);
        QVERIFY(client_.interface()->isServiceRegistered(kName));
        chooseFile(window, QStringLiteral("long.mp3"));

        call(QStringLiteral("Play"));
        QTRY_COMPARE_WITH_TIMEOUT(toldStatuses_, QStringList({"Playing"}), kStartTimeoutMs);
        // The desktop hears "Playing" from the click on; the exact length follows the count.
        QTRY_COMPARE_WITH_TIMEOUT(reports.last().at(1).toInt(), MediaComponent::kPlaying,
                                  kStartTimeoutMs);
        QCOMPARE(window.mediaPlayer().sourceFile(), core::FilePath(file.toUtf8()));

        const QVariantMap metadata = qdbus_cast<QVariantMap>(property("Metadata"));
        QCOMPARE(metadata.value("xesam:title").toString(), QStringLiteral("Long Tone"));
        QCOMPARE(metadata.value("xesam:artist").toStringList(), QStringList({"An Artist"}));
        QCOMPARE(metadata.value("xesam:album").toString(), QStringLiteral("Album"));
        QCOMPARE(metadata.value("xesam:url").toString(), QUrl::fromLocalFile(file).toString());
        QVERIFY(metadata.value("mpris:trackid").canConvert<QDBusObjectPath>());
        const double counted = *player::mpegAudioFileDuration(file.toStdString());
        QCOMPARE(metadata.value("mpris:length").toLongLong(), std::llround(counted * 1e6));

        const QByteArray before = test_files::readAll(file);
        const ShownMessageBox refusal = answerMessageBox(
            [&] { window.findChild<QAbstractButton*>(QStringLiteral("cmdWriteTag"))->click(); });
        QCOMPARE(refusal.text, QStringLiteral("You can't save to an open file"));
        QCOMPARE(test_files::readAll(file), before);

        call(QStringLiteral("PlayPause"));
        QTRY_COMPARE(toldStatuses_.last(), QStringLiteral("Paused"));
        QCOMPARE(reports.last().at(1).toInt(), MediaComponent::kPaused);

        call(QStringLiteral("Stop"));
        QTRY_COMPARE(toldStatuses_.last(), QStringLiteral("Stopped"));
        QCOMPARE(reports.last().at(1).toInt(), MediaComponent::kStopped);
        QVERIFY(qdbus_cast<QVariantMap>(property("Metadata")).isEmpty());
        toldStatuses_.clear();
    }

    void seeksOnlyWithinTheTrackThatPlays_data() {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QStringList>("calls");
        const QVariant track = QVariant::fromValue(QDBusObjectPath("/mp3player/track/1"));
        const QVariant other = QVariant::fromValue(QDBusObjectPath("/mp3player/track/7"));
        QTest::newRow("forward") << "Seek" << QVariantList{qlonglong(2'500'000)}
                                 << QStringList({"seek:3.5"});
        QTest::newRow("back before the start")
            << "Seek" << QVariantList{qlonglong(-5'000'000)} << QStringList({"seek:0"});
        QTest::newRow("past the end")
            << "Seek" << QVariantList{qlonglong(10'000'000)} << QStringList();
        QTest::newRow("to a place") << "SetPosition" << QVariantList{track, qlonglong(8'000'000)}
                                    << QStringList({"seek:8"});
        QTest::newRow("in another track")
            << "SetPosition" << QVariantList{other, qlonglong(8'000'000)} << QStringList();
    }

    void seeksOnlyWithinTheTrackThatPlays() {
        QFETCH(QString, method);
        QFETCH(QVariantList, arguments);
        QFETCH(QStringList, calls);
        auto media = std::make_unique<FakeMediaComponent>();
        FakeMediaComponent& fake = *media;
        Form1 window(std::move(media));
        QCOMPARE(mpris::publish(window, QDBusConnection::sessionBus()), kName);
        fake.length = 10;
        fake.position = 1;
        fake.reportState(MediaComponent::kStopped, MediaComponent::kPlaying);
        fake.calls.clear();

        call(method, arguments);
        QCOMPARE(fake.calls, calls);
    }

    void quitEndsTheProgramWithoutTheCreditBox() {
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(MP3PLAYER_BINARY));
        QVERIFY(program.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(client_.interface()->isServiceRegistered(kName), 10000);

        call(QStringLiteral("Quit"), {}, QStringLiteral("org.mpris.MediaPlayer2"));
        QVERIFY2(program.waitForFinished(10000), "still running: the credit box waits?");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

    void withoutABusThePlayerIsNotPublished() {
        Form1 window(std::make_unique<FakeMediaComponent>());
        const QDBusConnection none = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=/nonexistent/bus"), QStringLiteral("none"));
        QVERIFY(mpris::publish(window, none).isEmpty());
        QDBusConnection::disconnectFromBus(QStringLiteral("none"));
    }

private:
    // A call as the desktop makes it; the player answers from this thread's event loop.
    QDBusMessage call(const QString& method, const QVariantList& arguments = {},
                      const QString& interface = kPlayer) {
        QDBusMessage message = QDBusMessage::createMethodCall(kName, kPath, interface, method);
        message.setArguments(arguments);
        const QDBusMessage reply = client_.call(message, QDBus::BlockWithGui);
        [&] { QCOMPARE(reply.type(), QDBusMessage::ReplyMessage); }();
        return reply;
    }

    QDBusArgument property(const QString& name) {
        const QDBusMessage reply = call(QStringLiteral("Get"), {kPlayer, name}, kProperties);
        return reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>();
    }

    static void chooseFile(Form1& window, const QString& name) {
        auto* files = window.findChild<browser::FileList*>(QStringLiteral("File1"));
        const QList<QListWidgetItem*> found = files->findItems(name, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {},
                          files->visualItemRect(found.front()).center());
    }

    QProcess bus_;
    QDBusConnection client_{QString()};
    QStringList toldStatuses_;
};

QTEST_MAIN(MprisTest)
#include "mpris_test.moc"

// The real media strip, playing the test files through GStreamer into a fake sink.
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "player/media_component.h"
#include "support/temp_files.h"

namespace {

constexpr int kStartTimeoutMs = 5000;

// The files the component holds open, by following this process's descriptors.
bool holdsOpen(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty()) {
        return false;  // nothing there to hold
    }
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& entry :
         descriptors.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.symLinkTarget() == target) {
            return true;
        }
    }
    return false;
}

QList<qint32> newStates(const QSignalSpy& spy) {
    QList<qint32> states;
    for (const QList<QVariant>& report : spy) {
        states << report.at(1).toInt();
    }
    return states;
}

// Gives the component `file` and waits until it reports playing.
bool startsPlaying(MediaComponent& component, const QSignalSpy& reports, const QString& file) {
    component.setSourceFile(file);
    return QTest::qWaitFor([&] { return newStates(reports).contains(MediaComponent::kPlaying); },
                           kStartTimeoutMs);
}

// A strip shown on screen, playing a five-second file; nothing when it does not play.
std::unique_ptr<MediaComponent> stripOnScreenPlaying() {
    std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
    component->resize(400, 60);
    component->show();
    QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);
    if (!QTest::qWaitForWindowExposed(component.get()) ||
        !startsPlaying(*component, reports,
                       test_files::testDataFile(QStringLiteral("vbr_xing.mp3")))) {
        return nullptr;
    }
    return component;
}

QString statusText(const MediaComponent& component) {
    QString text;
    for (const QLabel* label : component.findChildren<QLabel*>()) {
        text += label->text();
    }
    return text;
}

QString writeLongFile(const QTemporaryDir& folder) {
    const QString path = folder.filePath(QStringLiteral("long.mp3"));
    test_files::writeLongMpegFile(path, test_files::kLongMpegFileCopies);
    return path;
}

}  // namespace

class GstMediaComponentTest : public QObject {
    Q_OBJECT

private slots:
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
        const std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);
        double lengthWhenPlaying = -1;
        connect(component.get(), &MediaComponent::playStateChanged, this,
                [&](qint32, qint32 newState) {
                    if (newState == MediaComponent::kPlaying) {
                        lengthWhenPlaying = component->duration();
                    }
                });

        QVERIFY(startsPlaying(*component, reports, test_files::testDataFile(file)));

        QVERIFY2(qAbs(lengthWhenPlaying - length) < 0.1,
                 qPrintable(QStringLiteral("length %1 s").arg(lengthWhenPlaying)));
        QVERIFY(holdsOpen(test_files::testDataFile(file)));

        component->setSourceFile(QString());
        QCOMPARE(newStates(reports).last(), MediaComponent::kStopped);
        QVERIFY2(!holdsOpen(test_files::testDataFile(file)), "the file is still open");
        QCOMPARE(component->currentPosition(), 0.0);
    }

    void thePositionFollowsTheClock() {
        const std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);
        QVERIFY(startsPlaying(*component, reports,
                              test_files::testDataFile(QStringLiteral("cbr.mp3"))));

        QTRY_VERIFY(component->currentPosition() > 0.2);
        const double startPosition = component->currentPosition();
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY(component->currentPosition() > startPosition + 1.0);
        const double played = component->currentPosition() - startPosition;
        const double elapsed = clock.elapsed() / 1000.0;
        QVERIFY2(qAbs(played - elapsed) < 0.3,
                 qPrintable(QStringLiteral("played %1 s in %2 s").arg(played).arg(elapsed)));
    }

    void atTheEndItStopsReleasesTheFileAndKeepsThePosition() {
        const std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);
        const QString file = test_files::testDataFile(QStringLiteral("cbr.mp3"));
        component->setAutoRewind(false);
        QVERIFY(startsPlaying(*component, reports, file));
        const double length = component->duration();

        QTRY_COMPARE_WITH_TIMEOUT(newStates(reports).last(), MediaComponent::kStopped, 10000);
        QVERIFY(!holdsOpen(file));
        QVERIFY2(
            qAbs(component->currentPosition() - length) < 0.1,
            qPrintable(
                QStringLiteral("position %1 of %2").arg(component->currentPosition()).arg(length)));
    }

    void neverReportsPlayingForWhatCannotBePlayed_data() {
        QTest::addColumn<QString>("source");
        QTest::newRow("text under an .mp3 name") << test_files::testDataFile("garbage.mp3");
        QTest::newRow("a folder") << QDir::tempPath();
        QTest::newRow("a missing file") << QStringLiteral("/nonexistent/gone.mp3");
    }

    void neverReportsPlayingForWhatCannotBePlayed() {
        QFETCH(QString, source);
        const std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);

        component->setSourceFile(source);

        QTRY_VERIFY_WITH_TIMEOUT(statusText(*component).contains(QStringLiteral("Cannot play")),
                                 kStartTimeoutMs);
        QCoreApplication::processEvents();
        // A file GStreamer takes on is told at once as playing, until it finds it cannot.
        QVERIFY2(!newStates(reports).contains(MediaComponent::kPlaying),
                 "reported as playing with its length");
        QVERIFY(reports.isEmpty() || newStates(reports).last() == MediaComponent::kStopped);
        QVERIFY(!holdsOpen(source));
    }

    void theStripsOwnButtonsPauseResumeAndStop() {
        const std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);
        QVERIFY(startsPlaying(*component, reports,
                              test_files::testDataFile(QStringLiteral("vbr_xing.mp3"))));
        const QList<QToolButton*> buttons = component->findChildren<QToolButton*>();
        QVERIFY(!buttons.isEmpty());
        QToolButton* playPause = buttons.front();

        playPause->click();
        QTRY_COMPARE(newStates(reports).last(), MediaComponent::kPaused);
        const double heldAt = component->currentPosition();
        QVERIFY(holdsOpen(test_files::testDataFile(QStringLiteral("vbr_xing.mp3"))));

        playPause->click();
        QTRY_COMPARE(newStates(reports).last(), MediaComponent::kPlaying);
        QTRY_VERIFY(component->currentPosition() > heldAt + 0.2);

        buttons.at(1)->click();
        QCOMPARE(newStates(reports).last(), MediaComponent::kStopped);
        QCOMPARE(statusText(*component), QStringLiteral("Stopped vbr_xing.mp3"));
    }

    void closingThePlayerWhilePlayingStopsAndReleasesTheFile() {
        const QString file = test_files::testDataFile(QStringLiteral("cbr.mp3"));
        std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);
        QVERIFY(startsPlaying(*component, reports, file));

        component.reset();

        QVERIFY2(!holdsOpen(file), "the file stayed open after the player was gone");
    }

    void anEmptySourceStopsAtOnce() {
        const std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);
        QVERIFY(startsPlaying(*component, reports,
                              test_files::testDataFile(QStringLiteral("vbr_xing.mp3"))));

        reports.clear();
        component->setSourceFile(QString());
        QCOMPARE(newStates(reports), QList<qint32>({MediaComponent::kStopped}));
        QCOMPARE(statusText(*component), QStringLiteral("Stopped vbr_xing.mp3"));
        // Whatever the previous source still had on its way is dropped.
        QTest::qWait(200);
        QCOMPARE(newStates(reports), QList<qint32>({MediaComponent::kStopped}));
    }

    void aFileIsToldAsPlayingAtOnceAndItsCountedLengthFollows() {
        const QTemporaryDir folder;
        const QString file = writeLongFile(folder);
        const std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);

        component->setSourceFile(file);

        // Told before a sample has played, long before the count ends.
        QCOMPARE(newStates(reports), QList<qint32>({MediaComponent::kWaiting}));
        QCOMPARE(component->currentPosition(), 0.0);
        QTRY_VERIFY_WITH_TIMEOUT(newStates(reports).contains(MediaComponent::kPlaying), 60000);
        QCOMPARE(newStates(reports).first(), MediaComponent::kWaiting);
        QVERIFY2(qAbs(component->duration() - test_files::kLongMpegFileCopies * 5.0) <
                     test_files::kLongMpegFileCopies * 0.1,
                 qPrintable(QStringLiteral("length %1 s").arg(component->duration())));
    }

    void aFileCutShortWhileCountedEndsTheCountNotThePlayer() {
        const QTemporaryDir folder;
        const QString file = writeLongFile(folder);
        const std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);

        component->setSourceFile(file);
        QVERIFY(QFile::resize(file, 100000));

        // The count of a file that changed under it is dropped for GStreamer's own estimate.
        QTRY_VERIFY_WITH_TIMEOUT(newStates(reports).contains(MediaComponent::kPlaying) ||
                                     newStates(reports).last() == MediaComponent::kStopped,
                                 60000);
        QVERIFY2(component->duration() < test_files::kLongMpegFileCopies * 5.0 - 1,
                 "the length of the file before it was cut");
    }

    void aNewSourceOrTheEndOfThePlayerEndsTheCountOfTheOldOne() {
        const QTemporaryDir folder;
        const QString file = writeLongFile(folder);
        std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        QSignalSpy reports(component.get(), &MediaComponent::playStateChanged);

        component->setSourceFile(file);
        QVERIFY(startsPlaying(*component, reports,
                              test_files::testDataFile(QStringLiteral("cbr.mp3"))));
        QVERIFY2(qAbs(component->duration() - 4.0) < 0.1, "the length of the file before");

        component->setSourceFile(file);
        component.reset();
        QVERIFY(!holdsOpen(file));
    }

    void theStripSaysWhatItDoesInAsFewWordsAsItsWidthHolds() {
        const std::unique_ptr<MediaComponent> component = createSystemMediaComponent();
        component->resize(300, 60);
        component->show();
        QVERIFY(QTest::qWaitForWindowExposed(component.get()));
        auto* line = component->findChild<QLabel*>();

        component->findChildren<QToolButton*>().front()->click();
        QCOMPARE(line->text(), QStringLiteral("Nothing to play: choose a file in the list first."));

        const QString name = QString(200, QLatin1Char('x')) + QStringLiteral(".mp3");
        component->setSourceFile(QStringLiteral("/nonexistent/") + name);
        const QString whole = QStringLiteral("Cannot play %1: the file does not exist").arg(name);
        QCOMPARE(line->toolTip(), whole);
        QVERIFY2(line->text().size() < whole.size() && line->text().contains(QChar(0x2026)),
                 qPrintable(line->text()));
        QVERIFY(line->text().endsWith(QStringLiteral("does not exist")));
    }

    void thePositionSliderFollowsPlayingSeekingAndTheStop() {
        const std::unique_ptr<MediaComponent> component = stripOnScreenPlaying();
        QVERIFY(component);
        const auto* slider = component->findChildren<QSlider*>().front();
        const int end = slider->maximum();

        QTRY_VERIFY(slider->value() >= end / 5);  // a second of the five
        // Paused, the handle stands still, so where it goes shows where the seek went.
        component->pauseOrResume();
        component->seekTo(0.25);
        QTRY_VERIFY(slider->value() <= end / 10);
        component->pauseOrResume();
        QTRY_VERIFY(slider->value() > end / 10);
        component->stopPlayback();
        QCOMPARE(slider->value(), 0);
    }

    void aClickOnThePositionSliderJumpsToThatPoint() {
        const std::unique_ptr<MediaComponent> component = stripOnScreenPlaying();
        QVERIFY(component);
        auto* slider = component->findChildren<QSlider*>().front();

        QTest::mouseClick(slider, Qt::LeftButton, {},
                          QPoint(slider->width() * 3 / 4, slider->height() / 2));

        const double target = component->duration() * 0.75;
        QTRY_VERIFY2(qAbs(component->currentPosition() - target) < 0.5,
                     qPrintable(QStringLiteral("at %1 s, not near %2 s")
                                    .arg(component->currentPosition())
                                    .arg(target)));
    }
};

QTEST_MAIN(GstMediaComponentTest)
#include "gst_media_component_test.moc"

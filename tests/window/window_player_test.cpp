// The play/stop button, the playing flag that only the media strip's reports set, and the
// two play-time labels.
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include "support/message_boxes.h"
#include "support/temp_files.h"
#include "support/window_fixture.h"

class WindowPlayerTest : public QObject {
    Q_OBJECT

private slots:
    // The button starts the chosen file, or nothing, until the strip reports that it plays;
    // each report shows the length of what the strip holds.
    void playFollowsTheChoiceAndOnlyTheStripsReportsChangeWhatTheButtonDoes() {
        WindowFixture fixture;
        test_files::writeAll(fixture.file("a.mp3"), "x");
        test_files::writeAll(fixture.file("b.mp3"), "x");
        fixture.open();
        const QString a = test_files::qtPath(fixture.file("a.mp3"));
        const QString b = test_files::qtPath(fixture.file("b.mp3"));
        QStringList& calls = fixture.media().calls;
        QCOMPARE(fixture.text("lblTotalTime"), QStringLiteral("Total Time : "));

        fixture.click("cmdOpen");  // nothing chosen yet
        fixture.clickFile("a.mp3");
        fixture.click("cmdOpen");
        fixture.click("cmdOpen");  // no report yet: still the start branch
        QCOMPARE(calls, QStringList({"source:", "autoRewind:off", "source:" + a, "autoRewind:off",
                                     "source:" + a, "autoRewind:off"}));

        calls.clear();
        fixture.media().length = 205.4;
        fixture.media().reportState(0, 2);
        QCOMPARE(fixture.text("lblTotalTime"), QStringLiteral("Total Time: 03:25"));
        fixture.clickFile("b.mp3");  // changes the choice, not what plays
        fixture.click("cmdOpen");
        fixture.click("cmdOpen");  // still playing until the strip says otherwise
        QCOMPARE(calls, QStringList({"source:", "source:"}));

        calls.clear();
        fixture.media().length = 0;
        fixture.media().reportState(2, 0);
        QCOMPARE(fixture.text("lblTotalTime"), QStringLiteral("Total Time: 00:00"));
        fixture.click("cmdOpen");
        QCOMPARE(calls, QStringList({"source:" + b, "autoRewind:off"}));

        calls.clear();
        fixture.media().reportState(0, 1);  // paused still holds the file
        fixture.click("cmdOpen");
        QCOMPARE(calls, QStringList({"source:"}));
    }

    void theSystemStripPlaysFilesWhateverTheirNames_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("toTheEnd");
        // One plays to its end; the others are stopped once they play.
        for (const auto& [label, name] : kAwkwardFileNames) {
            QTest::newRow(label) << name << (name == kAwkwardFileNames[0].second);
        }
    }

    void theSystemStripPlaysFilesWhateverTheirNames() {
        QFETCH(QByteArray, name);
        QFETCH(bool, toTheEnd);
        WindowFixture fixture;
        const core::FilePath file(name);
        test_files::writeAll(fixture.file(file),
                             test_files::readAll(test_files::testDataFile("cbr.mp3")));
        fixture.openWithEngine();
        auto* strip = fixture.window().findChild<MediaComponent*>();
        QSignalSpy reports(strip, &MediaComponent::playStateChanged);
        const auto lastState = [&] {
            return reports.isEmpty() ? -1 : reports.last().at(1).toInt();
        };

        fixture.clickFile(file);
        fixture.click("cmdOpen");

        QTRY_COMPARE_WITH_TIMEOUT(lastState(), MediaComponent::kPlaying, 5000);
        QCOMPARE(fixture.text("lblTotalTime"), QStringLiteral("Total Time: 00:04"));
        QString stripText;
        for (const QLabel* label : strip->findChildren<QLabel*>()) {
            stripText += label->text();
        }
        QVERIFY2(stripText.contains(file.forMessages()), qPrintable(stripText));
        if (toTheEnd) {
            QTRY_COMPARE_WITH_TIMEOUT(lastState(), MediaComponent::kStopped, 10000);
            QVERIFY2(qAbs(strip->currentPosition() - 4.0) < 0.1,
                     qPrintable(QStringLiteral("stopped at %1 s").arg(strip->currentPosition())));
            QTRY_COMPARE(fixture.text("lblElapsedTime"), QStringLiteral("Elapsed Time: 00:04"));
        } else {
            fixture.click("cmdOpen");
            QCOMPARE(lastState(), MediaComponent::kStopped);
        }
    }

    void theElapsedTimeFollowsThePositionAtEveryTick() {
        auto media = std::make_unique<FakeMediaComponent>();
        FakeMediaComponent* fake = media.get();
        Form1 window(std::move(media));
        auto* elapsed = window.findChild<QLabel*>(QStringLiteral("lblElapsedTime"));
        QCOMPARE(elapsed->text(), QStringLiteral("Elapsed Time:"));

        auto* timer = window.findChild<QTimer*>(QStringLiteral("Timer1"));
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 60);

        QTRY_COMPARE(elapsed->text(), QStringLiteral("Elapsed Time: 00:00"));
        fake->position = 67;
        QTRY_COMPARE(elapsed->text(), QStringLiteral("Elapsed Time: 01:07"));
        fake->position = 0.5;
        QTRY_COMPARE(elapsed->text(), QStringLiteral("Elapsed Time: 00:00"));
        fake->position = 1.5;
        QTRY_COMPARE(elapsed->text(), QStringLiteral("Elapsed Time: 00:02"));
    }

    void withTheRealStripSavesAreRefusedAndTheNextClickStopsFromTheFirstMoment() {
        WindowFixture fixture;
        const QString file = test_files::qtPath(fixture.file("long.mp3"));
        test_files::writeLongMpegFile(file, test_files::kLongMpegFileCopies);
        fixture.openWithEngine();
        auto* media = fixture.window().findChild<MediaComponent*>();
        QSignalSpy reports(media, &MediaComponent::playStateChanged);
        fixture.clickFile("long.mp3");
        const qint64 size = QFileInfo(file).size();

        fixture.click("cmdOpen");

        // Before a sample has played and long before the frames are counted.
        QCOMPARE(reports.size(), 1);
        QVERIFY(reports.last().at(1).toInt() != MediaComponent::kStopped);
        QCOMPARE(media->currentPosition(), 0.0);
        const ShownMessageBox refusal = answerMessageBox([&] { fixture.click("cmdWriteTag"); });
        QCOMPARE(refusal.text, QStringLiteral("You can't save to an open file"));
        QCOMPARE(QFileInfo(file).size(), size);
        fixture.click("cmdOpen");
        QCOMPARE(reports.last().at(1).toInt(), MediaComponent::kStopped);
    }
};

QTEST_MAIN(WindowPlayerTest)
#include "window_player_test.moc"

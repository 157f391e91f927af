// The media strip on screen over its real engine, playing into a fake sink: its buttons, its
// sliders and its line of text.
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

#include "player/media_strip.h"
#include "player/playback_engine.h"
#include "support/temp_files.h"

namespace {

constexpr int kStartTimeoutMs = 5000;

QList<qint32> newStates(const QSignalSpy& spy) {
    QList<qint32> states;
    for (const QList<QVariant>& report : spy) {
        states << report.at(1).toInt();
    }
    return states;
}

// A strip shown on screen over `engine`, playing a five-second file; nothing when it does not
// play.
std::unique_ptr<MediaStrip> stripOnScreenPlaying(player::PlaybackEngine& engine) {
    auto strip = std::make_unique<MediaStrip>(engine);
    strip->resize(400, 60);
    strip->show();
    QSignalSpy reports(strip.get(), &MediaComponent::playStateChanged);
    if (!QTest::qWaitForWindowExposed(strip.get())) {
        return nullptr;
    }
    strip->setSourceFile(
        test_files::pathOf(test_files::testDataFile(QStringLiteral("vbr_xing.mp3"))));
    if (!QTest::qWaitFor([&] { return newStates(reports).contains(MediaComponent::kPlaying); },
                         kStartTimeoutMs)) {
        return nullptr;
    }
    return strip;
}

QString statusText(const MediaComponent& component) {
    QString text;
    for (const QLabel* label : component.findChildren<QLabel*>()) {
        text += label->text();
    }
    return text;
}

}  // namespace

class MediaStripTest : public QObject {
    Q_OBJECT

private slots:
    // The strip's own buttons pause, resume and stop; its position slider follows the engine,
    // and a click on it goes exactly to that time.
    void theStripsButtonsAndPositionSliderDriveAndFollowPlaying() {
        player::PlaybackEngine engine;
        const std::unique_ptr<MediaStrip> strip = stripOnScreenPlaying(engine);
        QVERIFY(strip);
        QSignalSpy reports(strip.get(), &MediaComponent::playStateChanged);
        const QList<QToolButton*> buttons = strip->findChildren<QToolButton*>();
        QToolButton* playPause = buttons.front();
        auto* slider = strip->findChildren<QSlider*>().front();
        const int end = slider->maximum();

        playPause->click();
        QTRY_COMPARE(newStates(reports).last(), MediaComponent::kPaused);
        const double heldAt = strip->currentPosition();
        playPause->click();
        QTRY_COMPARE(newStates(reports).last(), MediaComponent::kPlaying);
        QTRY_VERIFY(strip->currentPosition() > heldAt + 0.2);

        QTRY_VERIFY(slider->value() >= end / 5);  // a second of the five
        // Paused, the handle stands still, so where it goes shows where the seek went.
        engine.pause();
        engine.seek(0.25);
        QTRY_VERIFY(slider->value() <= end / 10);
        engine.play();
        QTRY_VERIFY(slider->value() > end / 10);

        engine.pause();
        QTest::mouseClick(slider, Qt::LeftButton, {},
                          QPoint(slider->width() * 3 / 4, slider->height() / 2));
        QVERIFY(qAbs(slider->value() - end * 3 / 4) < end / 20);
        const double target = strip->duration() * slider->value() / end;
        QTRY_VERIFY2(
            qAbs(strip->currentPosition() - target) < 0.01,
            qPrintable(
                QStringLiteral("at %1 s, not at %2 s").arg(strip->currentPosition()).arg(target)));

        buttons.at(1)->click();
        QCOMPARE(newStates(reports).last(), MediaComponent::kStopped);
        QCOMPARE(statusText(*strip), QStringLiteral("Stopped vbr_xing.mp3"));
        QCOMPARE(slider->value(), 0);
    }

    void theStripSaysWhatItDoesInAsFewWordsAsItsWidthHolds() {
        player::PlaybackEngine engine;
        MediaStrip strip(engine);
        strip.resize(300, 60);
        strip.show();
        QVERIFY(QTest::qWaitForWindowExposed(&strip));
        auto* line = strip.findChild<QLabel*>();

        strip.findChildren<QToolButton*>().front()->click();
        QCOMPARE(line->text(), QStringLiteral("Nothing to play: choose a file in the list first."));

        const QString name = QString(200, QLatin1Char('x')) + QStringLiteral(".mp3");
        strip.setSourceFile(core::FilePath(("/nonexistent/" + name).toUtf8()));
        const QString whole = QStringLiteral("Cannot play %1: the file does not exist").arg(name);
        QCOMPARE(line->toolTip(), whole);
        QVERIFY2(line->text().size() < whole.size() && line->text().contains(QChar(0x2026)),
                 qPrintable(line->text()));
        QVERIFY(line->text().endsWith(QStringLiteral("does not exist")));
    }

    void theVolumeSliderAndTheEngineFollowEachOther() {
        player::PlaybackEngine engine;
        MediaStrip strip(engine);
        auto* volume = strip.findChildren<QSlider*>().last();

        engine.setVolume(0.333);
        QCOMPARE(volume->value(), 33);
        QCOMPARE(engine.volume(), 0.333);  // not sent back rounded

        volume->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(engine.volume(), volume->value() / 100.0);
    }
};

QTEST_MAIN(MediaStripTest)
#include "media_strip_test.moc"

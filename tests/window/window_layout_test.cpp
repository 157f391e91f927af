// The window's designed look: places, colours, keyboard order and the default and cancel keys.
#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QtTest>

#include "support/message_boxes.h"
#include "support/window_fixture.h"

namespace {

// Places are designed in 1/1440 inch, 15 units to a pixel.
QRect designed(int left, int top, int width, int height) {
    return {left / 15, top / 15, width / 15, height / 15};
}

QWidget* byName(const WindowFixture& fixture, const QString& name) {
    return fixture.window().findChild<QWidget*>(name);
}

}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void theWindowIsFramelessFixedAndTitled() {
        WindowFixture fixture;
        fixture.open();
        const Form1& window = fixture.window();
        QCOMPARE(window.size(), QSize(575, 447));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(window.windowTitle(), QStringLiteral("Tamsel's MP3 Player"));
        QVERIFY(!window.windowIcon().isNull());
    }

    void everyControlSitsAtItsDesignedPlace_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::newRow("Picture1") << "Picture1" << designed(1200, 120, 6375, 855);
        QTest::newRow("Command1") << "Command1" << designed(7920, 120, 615, 375);
        QTest::newRow("Shape1") << "Shape1" << designed(120, 1080, 8415, 5535);
        QTest::newRow("Dir1") << "Dir1" << designed(240, 1200, 1935, 3930);
        QTest::newRow("Drive1") << "Drive1" << designed(240, 5280, 1935, 330);
        QTest::newRow("lblMsg") << "lblMsg" << designed(2280, 1200, 3015, 255);
        QTest::newRow("File1") << "File1" << designed(2280, 1440, 3015, 3660);
        QTest::newRow("Shape2") << "Shape2" << designed(5400, 1080, 3135, 2775);
        QTest::newRow("Label1") << "Label1" << designed(5400, 1200, 855, 255);
        QTest::newRow("txtTitle") << "txtTitle" << designed(6360, 1200, 2055, 285);
        QTest::newRow("Label2") << "Label2" << designed(5400, 1560, 855, 255);
        QTest::newRow("txtArtist") << "txtArtist" << designed(6360, 1560, 2055, 285);
        QTest::newRow("Label3") << "Label3" << designed(5400, 1920, 855, 255);
        QTest::newRow("txtAlbum") << "txtAlbum" << designed(6360, 1920, 2055, 285);
        QTest::newRow("Label4") << "Label4" << designed(5400, 2280, 855, 255);
        QTest::newRow("txtYear") << "txtYear" << designed(6360, 2280, 2055, 285);
        QTest::newRow("Label5") << "Label5" << designed(5400, 2640, 855, 255);
        QTest::newRow("txtComment") << "txtComment" << designed(6360, 2640, 2055, 285);
        QTest::newRow("Label6") << "Label6" << designed(5400, 3000, 855, 255);
        QTest::newRow("Combo1") << "Combo1" << designed(6360, 3000, 1335, 315);
        QTest::newRow("txtGenreCode") << "txtGenreCode" << designed(7800, 3000, 615, 285);
        QTest::newRow("cmdWriteTag") << "cmdWriteTag" << designed(6360, 3360, 2055, 375);
        QTest::newRow("lblTotalTime") << "lblTotalTime" << designed(5520, 4440, 2895, 615);
        QTest::newRow("lblElapsedTime") << "lblElapsedTime" << designed(5520, 5040, 2895, 495);
        QTest::newRow("cmdOpen") << "cmdOpen" << designed(3960, 5280, 1335, 375);
        QTest::newRow("Line1") << "Line1" << QRect(8, 383, 561, 2);
        QTest::newRow("MediaPlayer1") << "MediaPlayer1" << designed(240, 5880, 8175, 615);
    }

    void everyControlSitsAtItsDesignedPlace() {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        WindowFixture fixture;
        fixture.open();
        QWidget* control = byName(fixture, name);
        QVERIFY2(control != nullptr, qPrintable(name));
        QCOMPARE(control->geometry(), place);
    }

    void theButtonsShowPicturesOnly() {
        WindowFixture fixture;
        fixture.open();
        for (const char* name : {"cmdOpen", "cmdWriteTag", "Command1"}) {
            const auto* button = fixture.control<QAbstractButton>(name);
            QVERIFY2(button->text().isEmpty(), name);
            QVERIFY2(!button->icon().isNull(), name);
            QVERIFY2(!button->accessibleName().isEmpty(), name);
        }
        QCOMPARE(fixture.control<QAbstractButton>("Command1")->toolTip(),
                 QStringLiteral("close this player"));
        fixture.click("cmdOpen");
        QVERIFY(fixture.control<QAbstractButton>("cmdOpen")->text().isEmpty());
    }

    void tabMovesThroughTheControlsInTheDesignedOrder() {
        WindowFixture fixture;
        fixture.open();
        const QStringList order = {"Dir1",         "Drive1",      "File1",      "txtArtist",
                                   "txtAlbum",     "txtYear",     "txtComment", "Combo1",
                                   "txtGenreCode", "cmdWriteTag", "cmdOpen",    "txtTitle",
                                   "Command1"};
        byName(fixture, order.front())->setFocus(Qt::TabFocusReason);
        for (qsizetype i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* expected = byName(fixture, order[i]);
            QWidget* focused = QApplication::focusWidget();
            QVERIFY2(
                focused == expected || expected->isAncestorOf(focused),
                qPrintable(QStringLiteral("after %1 came %2")
                               .arg(order[i - 1], focused ? focused->objectName() : "nothing")));
        }
        for (const char* label : {"Label1", "lblMsg", "lblTotalTime", "Picture1"}) {
            QCOMPARE(byName(fixture, QLatin1String(label))->focusPolicy(), Qt::NoFocus);
        }
    }

    void enterPlaysAndEscapeLeaves() {
        WindowFixture fixture;
        fixture.open();
        auto* title = fixture.control<QLineEdit>("txtTitle");
        title->setFocus();
        QTest::keyClick(title, Qt::Key_Return);
        QCOMPARE(fixture.media().calls, QStringList({"source:", "autoRewind:off"}));

        const ShownMessageBox box =
            answerMessageBox([&] { QTest::keyClick(title, Qt::Key_Escape); });
        QCOMPARE(box.text, QStringLiteral("Written by Corvenal"));
        QVERIFY(!fixture.window().isVisible());
    }

    void theControlsAreDrawnInTheirColours() {
        WindowFixture fixture;
        fixture.open();
        const QImage shot = fixture.window().grab().toImage();
        const auto colourAt = [&](int x, int y) { return QColor(shot.pixel(x, y)); };

        // Below the last entry of each list, where only the list's background shows.
        for (const char* name : {"Dir1", "File1"}) {
            const auto* list = fixture.control<QListWidget>(name);
            const QRect last =
                list->count() > 0 ? list->visualItemRect(list->item(list->count() - 1)) : QRect();
            const QPoint below =
                list->viewport()->mapTo(&fixture.window(), QPoint(10, last.bottom() + 6));
            QCOMPARE(colourAt(below.x(), below.y()), QColor(192, 192, 255));
        }
        const QRect message = byName(fixture, "lblMsg")->geometry();
        QCOMPARE(colourAt(message.center().x(), message.center().y()), QColor(255, 192, 255));
        const QRect title = byName(fixture, "txtTitle")->geometry();
        QCOMPARE(colourAt(title.center().x(), title.center().y()), QColor(192, 255, 192));
        const QRect outline = byName(fixture, "Shape1")->geometry();
        QCOMPARE(colourAt(outline.left(), outline.center().y()), QColor(128, 128, 128));
        const QRect line = byName(fixture, "Line1")->geometry();
        QCOMPARE(colourAt(line.center().x(), line.top()), QColor(128, 128, 128));
        // The background picture is dark everywhere a control leaves it showing.
        QVERIFY(colourAt(3, 3).lightness() < 64);
    }
};

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"

// The window's designed look: places, colours, fonts, pictures, keyboard order and focus, the
// default and cancel keys. ctest runs it at scale 1, 1.5 and 2 (QT_SCALE_FACTOR).
#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QtTest>

#include <algorithm>
#include <cmath>

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

const QStringList kWindowRound = {
    "Dir1",   "Drive1",       "File1",       "txtArtist", "txtAlbum", "txtYear",  "txtComment",
    "Combo1", "txtGenreCode", "cmdWriteTag", "cmdOpen",   "txtTitle", "Command1", "Picture1"};

// The window's control that holds the focus: the genre box for its line edit, and for the
// media strip, the part of the strip.
QWidget* focusedControl(const WindowFixture& fixture) {
    const auto* strip = fixture.control<QWidget>("MediaPlayer1");
    QWidget* focused = QApplication::focusWidget();
    while (focused != nullptr && focused->parentWidget() != &fixture.window() &&
           focused->parentWidget() != strip) {
        focused = focused->parentWidget();
    }
    return focused;
}

QString focusedName(const WindowFixture& fixture) {
    const QWidget* control = focusedControl(fixture);
    if (control == nullptr) {
        return QStringLiteral("nothing");
    }
    return fixture.control<QWidget>("MediaPlayer1")->isAncestorOf(control)
               ? QStringLiteral("MediaPlayer1")
               : control->objectName();
}

// Contrast ratio of two colours as WCAG 2 defines it.
double contrast(QColor a, QColor b) {
    const auto luminance = [](QColor colour) {
        const auto linear = [](double c) {
            return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
               0.0722 * linear(colour.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// Pairs of neighbouring pixels, side by side or one above the other, whose contrast is at least
// 3: the crisper a picture's edges, the more of them.
int contrastingNeighbours(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor here = image.pixelColor(x, y);
            count += x + 1 < image.width() && contrast(here, image.pixelColor(x + 1, y)) >= 3.0;
            count += y + 1 < image.height() && contrast(here, image.pixelColor(x, y + 1)) >= 3.0;
        }
    }
    return count;
}

// What the window shows of `control`, in device pixels.
QImage seen(QWidget& window, const QWidget* control) {
    return window.grab(QRect(control->mapTo(&window, QPoint(0, 0)), control->size())).toImage();
}

}  // namespace

class WindowLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void theWindowAndItsControlsSitAndShowAsDesigned() {
        WindowFixture fixture;
        fixture.open();
        const Form1& window = fixture.window();
        QCOMPARE(window.size(), QSize(575, 447));
        QCOMPARE(window.minimumSize(), window.maximumSize());
        QVERIFY(window.windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(window.windowTitle(), QStringLiteral("Tamsel's MP3 Player"));
        QVERIFY(!window.windowIcon().isNull());

        const std::pair<const char*, QRect> places[] = {
            {"Picture1", designed(1200, 120, 6375, 855)},
            {"Command1", designed(7920, 120, 615, 375)},
            {"Shape1", designed(120, 1080, 8415, 5535)},
            {"Dir1", designed(240, 1200, 1935, 3930)},
            {"Drive1", designed(240, 5280, 1935, 330)},
            {"lblMsg", designed(2280, 1200, 3015, 255)},
            {"File1", designed(2280, 1440, 3015, 3660)},
            {"Shape2", designed(5400, 1080, 3135, 2775)},
            {"Label1", designed(5400, 1200, 855, 255)},
            {"txtTitle", designed(6360, 1200, 2055, 285)},
            {"Label2", designed(5400, 1560, 855, 255)},
            {"txtArtist", designed(6360, 1560, 2055, 285)},
            {"Label3", designed(5400, 1920, 855, 255)},
            {"txtAlbum", designed(6360, 1920, 2055, 285)},
            {"Label4", designed(5400, 2280, 855, 255)},
            {"txtYear", designed(6360, 2280, 2055, 285)},
            {"Label5", designed(5400, 2640, 855, 255)},
            {"txtComment", designed(6360, 2640, 2055, 285)},
            {"Label6", designed(5400, 3000, 855, 255)},
            {"Combo1", designed(6360, 3000, 1335, 315)},
            {"txtGenreCode", designed(7800, 3000, 615, 285)},
            {"cmdWriteTag", designed(6360, 3360, 2055, 375)},
            {"lblTotalTime", designed(5520, 4440, 2895, 615)},
            {"lblElapsedTime", designed(5520, 5040, 2895, 495)},
            {"cmdOpen", designed(3960, 5280, 1335, 375)},
            {"Line1", QRect(8, 383, 561, 2)},
            {"MediaPlayer1", designed(240, 5880, 8175, 615)}};
        for (const auto& [name, place] : places) {
            const QWidget* control = byName(fixture, name);
            QVERIFY2(control != nullptr, name);
            QString seenPlace;
            QDebug(&seenPlace) << control->geometry();
            QVERIFY2(control->geometry() == place, qPrintable(name + seenPlace));
        }

        const QImage shot = fixture.window().grab().toImage();
        const qreal density = shot.devicePixelRatio();
        const auto colourAt = [&](int x, int y) {
            return QColor(shot.pixel(qRound(x * density), qRound(y * density)));
        };
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

    // From one and a half device pixels to a window pixel on, the words on the buttons come
    // from pictures drawn at twice the size: their edges are crisper than those of the 1x
    // drawing scaled up smoothly to the same size.
    void theButtonsShowPicturesOnlyThatFitAndSuitTheScreensDensity() {
        WindowFixture fixture;
        fixture.open();
        Form1& window = fixture.window();
        const qreal density = window.devicePixelRatioF();
        const std::pair<const char*, QString> buttons[] = {
            {"cmdOpen", QStringLiteral(":/images/play_stop.gif")},
            {"cmdWriteTag", QStringLiteral(":/images/save_tag.gif")},
            {"Command1", QStringLiteral(":/images/close.gif")}};
        for (const auto& [name, drawing] : buttons) {
            auto* button = fixture.control<QPushButton>(name);
            QVERIFY2(button->text().isEmpty(), name);
            QVERIFY2(!button->icon().isNull(), name);
            QVERIFY2(!button->accessibleName().isEmpty(), name);
            QStyleOptionButton option;
            option.initFrom(button);
            const QRect room =
                button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            QVERIFY2(room.width() >= button->iconSize().width() &&
                         room.height() >= button->iconSize().height(),
                     name);
            QCOMPARE(button->icon().pixmap(button->iconSize(), density).devicePixelRatio(),
                     density);
            if (density < 1.5) {
                continue;
            }
            // The words: the picture, centred in the button, less its frame and bevel.
            const QRect words = QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter,
                                                    button->iconSize(), button->rect())
                                    .adjusted(2, 2, -2, -2);
            const QRect wordsSeen =
                QRectF(QPointF(words.topLeft()) * density, QSizeF(words.size()) * density)
                    .toAlignedRect();
            const int shown = contrastingNeighbours(seen(window, button).copy(wordsSeen));
            QPixmap scaledUp(drawing);
            scaledUp = scaledUp.scaled(scaledUp.size() * density, Qt::IgnoreAspectRatio,
                                       Qt::SmoothTransformation);
            scaledUp.setDevicePixelRatio(density);
            button->setIcon(scaledUp);
            const int soft = contrastingNeighbours(seen(window, button).copy(wordsSeen));
            QVERIFY2(shown > 2 * soft,
                     qPrintable(QString::asprintf(
                         "%s: %d crisp edges, %d in the 1x drawing scaled up", name, shown, soft)));
        }
        QCOMPARE(fixture.control<QLabel>("Picture1")->pixmap().devicePixelRatio(), density);
        QCOMPARE(fixture.control<QAbstractButton>("Command1")->toolTip(),
                 QStringLiteral("close this player"));
        fixture.click("cmdOpen");
        QVERIFY(fixture.control<QAbstractButton>("cmdOpen")->text().isEmpty());
    }

    // Tab goes round the designed order both ways, the strip's own controls included; Enter
    // presses the strip's focused button, not the window's play button.
    void theKeyboardGoesRoundTheDesignedOrderAndPressesTheStripsButtons() {
        WindowFixture fixture;
        fixture.openWithEngine();
        QVERIFY(QTest::qWaitForWindowActive(&fixture.window()));
        QWidget* strip = fixture.control<QWidget>("MediaPlayer1");
        int stripStops = 0;
        for (const QWidget* part : strip->findChildren<QWidget*>()) {
            stripStops += part->isVisible() && (part->focusPolicy() & Qt::TabFocus) != 0 ? 1 : 0;
        }
        QVERIFY(stripStops > 0);
        // Once round from the folder list: the window's controls, then the strip's own.
        const QStringList forwards = kWindowRound + QStringList(stripStops, "MediaPlayer1") +
                                     QStringList{kWindowRound.front()};

        for (const Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
            const QStringList order =
                key == Qt::Key_Tab ? forwards : QStringList(forwards.rbegin(), forwards.rend());
            fixture.window().findChild<QWidget*>(order.front())->setFocus(Qt::TabFocusReason);
            QStringList walked = {focusedName(fixture)};
            QSet<QWidget*> stripParts;
            while (walked.size() < order.size()) {
                QTest::keyClick(QApplication::focusWidget(), key);
                walked << focusedName(fixture);
                if (walked.back() == QLatin1String("MediaPlayer1")) {
                    stripParts.insert(focusedControl(fixture));
                }
            }
            QCOMPARE(walked, order);
            QCOMPARE(stripParts.size(), stripStops);
        }
        for (const QLabel* label : fixture.window().findChildren<QLabel*>()) {
            if (label->objectName() != QLatin1String("Picture1")) {
                QVERIFY2(label->focusPolicy() == Qt::NoFocus, qPrintable(label->objectName()));
            }
        }

        auto* button = strip->findChild<QToolButton*>();
        QVERIFY(button != nullptr);
        QSignalSpy pressed(button, &QAbstractButton::clicked);
        QSignalSpy played(fixture.window().findChild<QAbstractButton*>(QStringLiteral("cmdOpen")),
                          &QAbstractButton::clicked);
        button->setFocus(Qt::TabFocusReason);
        QTest::keyClick(button, Qt::Key_Return);
        QCOMPARE(pressed.count(), 1);
        QCOMPARE(played.count(), 0);
    }

    void enterPressesTheFocusedButtonElsePlaysAndEscapeLeaves_data() {
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QString>("pressed");
        const std::pair<const char*, const char*> rows[] = {{"txtTitle", "cmdOpen"},
                                                            {"File1", "cmdOpen"},
                                                            {"cmdOpen", "cmdOpen"},
                                                            {"cmdWriteTag", "cmdWriteTag"},
                                                            {"Command1", "Command1"}};
        for (const auto& [focused, pressed] : rows) {
            QTest::newRow(focused) << QString(focused) << QString(pressed);
        }
    }

    void enterPressesTheFocusedButtonElsePlaysAndEscapeLeaves() {
        QFETCH(QString, focused);
        QFETCH(QString, pressed);
        WindowFixture fixture;
        fixture.open();
        QWidget* control = byName(fixture, focused);
        control->setFocus();
        QHash<QString, int> clicks;
        for (const char* name : {"cmdOpen", "cmdWriteTag", "Command1"}) {
            connect(fixture.control<QAbstractButton>(name), &QAbstractButton::clicked,
                    [&clicks, name] { ++clicks[QLatin1String(name)]; });
        }
        answerMessageBox([&] { QTest::keyClick(control, Qt::Key_Return); });
        QCOMPARE(clicks, (QHash<QString, int>{{pressed, 1}}));
        if (pressed == QLatin1String("cmdOpen")) {
            QCOMPARE(fixture.media().calls, QStringList({"source:", "autoRewind:off"}));
            const ShownMessageBox box =
                answerMessageBox([&] { QTest::keyClick(control, Qt::Key_Escape); });
            QCOMPARE(box.text, QStringLiteral("Written by Corvenal"));
            QVERIFY(!fixture.window().isVisible());
        }
    }

    void theFocusedControlShowsAMarkTwoPixelsWideThatStandsOut() {
        WindowFixture fixture;
        fixture.openWithEngine();
        QVERIFY(QTest::qWaitForWindowActive(&fixture.window()));
        Form1& window = fixture.window();
        QWidget* first = window.findChild<QWidget*>(kWindowRound.front());
        first->setFocus(Qt::TabFocusReason);
        QList<QWidget*> round;
        QHash<QWidget*, QImage> withFocus;
        QHash<QWidget*, QImage> withoutFocus;
        do {
            QWidget* control = focusedControl(fixture);
            round << control;
            withFocus.insert(control, seen(window, control));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            withoutFocus.insert(control, seen(window, control));
        } while (focusedControl(fixture) != first && round.size() < 40);
        QCOMPARE(round.size(), withFocus.size());

        // The mark lies in the outermost three pixels (a style's dark frame may lie under the
        // outermost one), rounded up to device pixels. Around the control it adds up to a ring
        // two pixels wide that stands out from what was there, and it shows on every side
        // (a slider's handle may lie under part of a side).
        const qreal density = window.devicePixelRatioF();
        const int band = static_cast<int>(std::ceil(2 * density) + std::ceil(density));
        const int needed = static_cast<int>(std::ceil(2 * density));
        for (QWidget* control : round) {
            const QImage& marked = withFocus[control];
            const QImage& plain = withoutFocus[control];
            const auto standingOut = [&](const QRect& area) {
                int count = 0;
                for (int y = area.top(); y <= area.bottom(); ++y) {
                    for (int x = area.left(); x <= area.right(); ++x) {
                        count += contrast(marked.pixelColor(x, y), plain.pixelColor(x, y)) >= 3.0;
                    }
                }
                return count;
            };
            const int w = marked.width();
            const int h = marked.height();
            const QRect sides[] = {{0, 0, w, band},
                                   {0, h - band, w, band},
                                   {0, band, band, h - 2 * band},
                                   {w - band, band, band, h - 2 * band}};
            const QString name =
                control->objectName().isEmpty() ? control->accessibleName() : control->objectName();
            int total = 0;
            int ringArea = 0;
            for (const QRect& side : sides) {
                const int out = standingOut(side);
                QVERIFY2(out * band >= side.width() * side.height(),
                         qPrintable(QString::asprintf("%s: %d of %d pixels stand out on a side",
                                                      qPrintable(name), out,
                                                      side.width() * side.height())));
                total += out;
                ringArea += side.width() * side.height() * needed / band;
            }
            QVERIFY2(total >= ringArea * 9 / 10,
                     qPrintable(QString::asprintf("%s: %d pixels stand out, a ring takes %d",
                                                  qPrintable(name), total, ringArea)));
        }
    }

    // Every text the window shows fits its box; a box shows all of its text when its first
    // character still sits at the left edge.
    void everyTextFitsItsBox() {
        WindowFixture fixture;
        fixture.open();
        QList<std::pair<const char*, QString>> texts = {{"lblTotalTime", "Total Time : "},
                                                        {"lblTotalTime", "Total Time: 59:59"},
                                                        {"lblElapsedTime", "Elapsed Time: 59:59"},
                                                        {"txtYear", "2024"},
                                                        {"txtGenreCode", "255"}};
        for (const char* label : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6"}) {
            texts.emplaceBack(label, fixture.control<QLabel>(label)->text());
        }
        for (const char* message :
             {"No tag", "Cannot read file", "No tag (ID3v2 only)", "Also an ID3v2 tag",
              "Saved; 120 became ?", "ID3v1 saved, ID3v2 not", "An interrupted save was finished",
              "An interrupted save was ignored", "The tag shown may be half-written"}) {
            texts.emplaceBack("lblMsg", message);
        }
        for (const auto& [name, text] : texts) {
            QWidget* control = byName(fixture, name);
            const QFontMetrics metrics(control->font());
            if (auto* label = qobject_cast<QLabel*>(control)) {
                const QRect room = label->contentsRect();
                QVERIFY2(metrics.horizontalAdvance(text) <= room.width() &&
                             metrics.height() <= room.height(),
                         qPrintable(text));
            } else {
                auto* box = qobject_cast<QLineEdit*>(control);
                box->setText(text);
                box->setCursorPosition(static_cast<int>(text.size()));
                box->grab();  // painted, the box has scrolled to where its cursor is
                QVERIFY2(box->cursorPositionAt(QPoint(1, box->height() / 2)) == 0, name);
            }
        }

        // The genre names show whole in the open list, and from their start in the box.
        QComboBox* genres = fixture.genres();
        QLineEdit* box = genres->lineEdit();
        genres->showPopup();
        QAbstractItemView* list = genres->view();
        QVERIFY(QTest::qWaitForWindowExposed(list->window()));
        for (int row = 0; row < genres->count(); ++row) {
            const QModelIndex index = list->model()->index(row, 0);
            list->scrollTo(index);
            QVERIFY2(list->visualRect(index).width() >= list->sizeHintForIndex(index).width(),
                     qPrintable(genres->itemText(row)));
            QVERIFY2(list->viewport()->rect().contains(list->visualRect(index)),
                     qPrintable(genres->itemText(row)));
        }
        genres->hidePopup();
        for (int row = 0; row < genres->count(); ++row) {
            genres->setCurrentIndex(row);
            box->grab();
            QCOMPARE(box->cursorPositionAt(QPoint(1, box->height() / 2)), 0);
        }
    }
};

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"

// Builds the window's controls at their designed places, with their look and keyboard order.
#include <QAbstractItemView>
#include <QComboBox>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

#include <future>
#include <utility>

#include "app/control_places.h"
#include "app/focus_mark.h"
#include "app/form1.h"
#include "app/genre_box.h"
#include "app/outline_shape.h"
#include "app/time_label.h"
#include "app/window_accessibility.h"
#include "browser/dir_list.h"
#include "browser/drive_list.h"
#include "browser/file_list.h"

namespace {

constexpr int kTimerIntervalMs = 60;

const QColor kListBackground{192, 192, 255};
const QColor kListText{0, 0, 192};
const QColor kFieldBackground{192, 255, 192};
const QColor kLabelText{192, 192, 192};
const QColor kMessageBackground{255, 192, 255};
const QColor kButtonFace{192, 192, 192};

template <typename Control>
Control* place(Control* control, const char* name, const QRect& where) {
    control->setObjectName(QLatin1String(name));
    control->setGeometry(where);
    return control;
}

void paint(QWidget* control, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = control->palette();
    palette.setColor(role, colour);
    control->setPalette(palette);
}

// Fonts are sized in the window's own pixels, as its places are (points at 96 dots per inch),
// so that each text keeps its room in its box whatever the screen's density or font settings.
QFont designedFont(const QString& family, qreal points, bool bold) {
    QFont font(family);
    font.setPixelSize(qRound(points * 96 / 72));
    font.setBold(bold);
    return font;
}

// The window's own font, for every control that names none: the sizes of the boxes were made
// for an 8-point sans-serif, and with this one each label and field text fits its box.
QFont defaultFont() {
    return designedFont(QStringLiteral("Liberation Sans"), 8.25, false);
}

QFont listFont(bool bold) {
    return designedFont(QStringLiteral("Arial"), 8.25, bold);
}

QFont timeFont() {
    return designedFont(QStringLiteral("Comic Sans MS"), 12, true);
}

// A picture at the screen's density. From one and a half device pixels to a window pixel on,
// it is the one drawn at twice the size ("name@2x.ext"), whose lettering is as sharp as the
// design's; below, the one drawn at the design's size. Where the screen's density differs from
// the one the picture was drawn for, it is scaled smoothly once here: Qt would otherwise
// stretch it pixel by pixel. Any thread may read one.
QImage pictureImage(const QString& path, qreal ratio) {
    const qreal drawnFor = ratio >= 1.5 ? 2.0 : 1.0;
    QString file = path;
    if (drawnFor > 1.0) {
        file.insert(file.lastIndexOf(u'.'), QStringLiteral("@2x"));
    }
    QImage image(file);
    if (!qFuzzyCompare(ratio, drawnFor)) {
        image = image.scaled(image.size() / drawnFor * ratio, Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    }
    image.setDevicePixelRatio(ratio);
    return image;
}

QPixmap picture(const QString& path, qreal ratio) {
    return QPixmap::fromImage(pictureImage(path, ratio));
}

// The window's background and banner, the two pictures that take long to decode.
struct LargePictures {
    QImage background;
    QImage banner;
};

// Decodes the large pictures on another thread, while the window's controls are built and their
// fonts loaded on this one.
std::future<LargePictures> decodeLargePictures(qreal ratio) {
    return std::async(std::launch::async | std::launch::deferred, [ratio] {
        return LargePictures{pictureImage(QStringLiteral(":/images/background.jpg"), ratio),
                             pictureImage(QStringLiteral(":/images/banner.jpg"), ratio)};
    });
}

// Where a font of the design is missing, a metric-compatible or look-alike one stands in.
void substituteMissingFonts() {
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("Comic Sans MS"), QStringLiteral("Comic Neue"));
}

void styleList(QWidget* list, bool bold) {
    paint(list, QPalette::Base, kListBackground);
    paint(list, QPalette::Text, kListText);
    paint(list, QPalette::Button, kListBackground);
    paint(list, QPalette::ButtonText, kListText);
    list->setFont(listFont(bold));
}

QPushButton* pictureButton(QWidget* parent, const QString& path, const QString& whatItDoes) {
    auto* button = new QPushButton(parent);
    const QPixmap pixmap = picture(path, parent->devicePixelRatioF());
    button->setIcon(pixmap);
    button->setIconSize(pixmap.deviceIndependentSize().toSize());
    button->setAccessibleName(whatItDoes);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* fieldBox(QWidget* parent, const char* name, const QRect& where, const QString& label) {
    auto* box = place(new QLineEdit(parent), name, where);
    box->setFrame(false);
    paint(box, QPalette::Base, kFieldBackground);
    box->setAccessibleName(label);
    return box;
}

QLabel* fieldLabel(QWidget* parent, const char* name, const QRect& where, const QString& text) {
    auto* label = place(new QLabel(text, parent), name, where);
    label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    paint(label, QPalette::WindowText, kLabelText);
    return label;
}

QLabel* timeLabel(QWidget* parent, const char* name, const QRect& where, const QString& text) {
    auto* label = place(new TimeLabel(text, parent), name, where);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(timeFont());
    paint(label, QPalette::WindowText, kLabelText);
    return label;
}

}  // namespace

void Form1::createControls() {
    namespace at = control_places;
    installWindowAccessibility();
    substituteMissingFonts();

    setWindowTitle(kApplicationTitle);
    setWindowFlag(Qt::FramelessWindowHint);
    setFixedSize(at::kWindow);
    setFont(defaultFont());
    std::future<LargePictures> largePictures = decodeLargePictures(devicePixelRatioF());
    QIcon icon;
    for (const int side : {16, 32, 48, 64}) {
        icon.addFile(QStringLiteral(":/images/icon%1.png").arg(side));
    }
    setWindowIcon(icon);
    paint(this, QPalette::Window, QColor(64, 64, 64));

    // Outlines, line and labels come first, so that every other control is drawn over them.
    place(new OutlineShape(this), "Shape1", at::kShape1);
    place(new OutlineShape(this), "Shape2", at::kShape2);
    const QRect lineBand(at::kLine1.p1().x(), at::kLine1.p1().y() - OutlineShape::kPenWidth / 2,
                         at::kLine1.dx() + 1, OutlineShape::kPenWidth);
    place(new OutlineShape(this), "Line1", lineBand);

    auto* Label1 = fieldLabel(this, "Label1", at::kLabel1, QStringLiteral("Title"));
    auto* Label2 = fieldLabel(this, "Label2", at::kLabel2, QStringLiteral("Artist"));
    auto* Label3 = fieldLabel(this, "Label3", at::kLabel3, QStringLiteral("Album"));
    auto* Label4 = fieldLabel(this, "Label4", at::kLabel4, QStringLiteral("Year"));
    auto* Label5 = fieldLabel(this, "Label5", at::kLabel5, QStringLiteral("Comment"));
    auto* Label6 = fieldLabel(this, "Label6", at::kLabel6, QStringLiteral("Genre"));
    lblTotalTime =
        timeLabel(this, "lblTotalTime", at::kLblTotalTime, QStringLiteral("Total Time : "));
    lblElapsedTime =
        timeLabel(this, "lblElapsedTime", at::kLblElapsedTime, QStringLiteral("Elapsed Time:"));

    auto* Picture1 = place(new QLabel(this), "Picture1", at::kPicture1);
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Picture1->setFrameShape(QFrame::Box);
    Picture1->setLineWidth(1);
    Picture1->setAccessibleName(windowTitle());
    // The banner closes the keyboard round, as in the design; it reads out the window's title.
    Picture1->setFocusPolicy(Qt::TabFocus);

    Command1 = place(pictureButton(this, QStringLiteral(":/images/close.gif"), tr("Close")),
                     "Command1", at::kCommand1);
    Command1->setToolTip(QStringLiteral("close this player"));

    Dir1 = place(new browser::DirList(this), "Dir1", at::kDir1);
    styleList(Dir1, false);
    Dir1->setAccessibleName(tr("Folders"));
    Drive1 = place(new browser::DriveList(this), "Drive1", at::kDrive1);
    styleList(Drive1, true);
    Drive1->setAccessibleName(tr("Drive"));
    Drive1->view()->setAccessibleName(tr("Drives"));

    lblMsg = place(new QLabel(this), "lblMsg", at::kLblMsg);
    lblMsg->setAutoFillBackground(true);
    paint(lblMsg, QPalette::Window, kMessageBackground);
    paint(lblMsg, QPalette::WindowText, Qt::black);
    lblMsg->setFrameShape(QFrame::Box);
    lblMsg->setAlignment(Qt::AlignCenter);

    File1 = place(new browser::FileList(this), "File1", at::kFile1);
    styleList(File1, false);
    File1->setAccessibleName(tr("Files"));

    txtTitle = fieldBox(this, "txtTitle", at::kTxtTitle, Label1->text());
    txtArtist = fieldBox(this, "txtArtist", at::kTxtArtist, Label2->text());
    txtAlbum = fieldBox(this, "txtAlbum", at::kTxtAlbum, Label3->text());
    txtYear = fieldBox(this, "txtYear", at::kTxtYear, Label4->text());
    txtComment = fieldBox(this, "txtComment", at::kTxtComment, Label5->text());

    Combo1 = place(new GenreBox(this), "Combo1", at::kCombo1);
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    paint(Combo1, QPalette::Base, kFieldBackground);
    Combo1->setAccessibleName(Label6->text());
    Combo1->lineEdit()->setAccessibleName(Label6->text());
    Combo1->view()->setAccessibleName(tr("Genres"));
    // A name longer than the closed box shows its start there, not its end.
    connect(Combo1, &QComboBox::currentIndexChanged, Combo1->lineEdit(),
            [box = Combo1->lineEdit()] { box->setCursorPosition(0); });

    txtGenreCode = fieldBox(this, "txtGenreCode", at::kTxtGenreCode, tr("Genre number"));
    // A screen reader finds each field's label through the label's buddy.
    const std::pair<QLabel*, QWidget*> labelled[] = {{Label1, txtTitle},   {Label2, txtArtist},
                                                     {Label3, txtAlbum},   {Label4, txtYear},
                                                     {Label5, txtComment}, {Label6, Combo1}};
    for (const auto& [label, field] : labelled) {
        label->setBuddy(field);
    }

    cmdWriteTag =
        place(pictureButton(this, QStringLiteral(":/images/save_tag.gif"), tr("Save tag")),
              "cmdWriteTag", at::kCmdWriteTag);
    paint(cmdWriteTag, QPalette::Button, kButtonFace);
    cmdOpen =
        place(pictureButton(this, QStringLiteral(":/images/play_stop.gif"), tr("Play or stop")),
              "cmdOpen", at::kCmdOpen);
    paint(cmdOpen, QPalette::Button, kButtonFace);

    place(MediaPlayer1, "MediaPlayer1", at::kMediaPlayer1);
    MediaPlayer1->setAccessibleName(tr("Media player"));

    // The keyboard round: the strip's own controls in their order, then the window's. Each
    // pair is set, since the strip itself takes no focus and so cannot anchor the order.
    QList<QWidget*> tabOrder;
    for (QWidget* part = MediaPlayer1->nextInFocusChain(); part != MediaPlayer1;
         part = part->nextInFocusChain()) {
        if (MediaPlayer1->isAncestorOf(part) && (part->focusPolicy() & Qt::TabFocus) != 0) {
            tabOrder << part;
        }
    }
    tabOrder << Dir1 << Drive1 << File1 << txtArtist << txtAlbum << txtYear << txtComment << Combo1
             << txtGenreCode << cmdWriteTag << cmdOpen << txtTitle << Command1 << Picture1;
    for (qsizetype i = 1; i < tabOrder.size(); ++i) {
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    }
    new FocusMark(this);

    const LargePictures decoded = largePictures.get();
    // Only the part of the background that the window shows is kept: the rest of the picture
    // would take half as much memory again.
    const QSize shown = size() * decoded.background.devicePixelRatio();
    background_ = QPixmap::fromImage(decoded.background.copy(QRect(QPoint(), shown)));
    Picture1->setPixmap(QPixmap::fromImage(decoded.banner));

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimerIntervalMs);
    Timer1->start();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

void Form1::paintEvent(QPaintEvent* /*event*/) {
    QPainter(this).drawPixmap(0, 0, background_);
}

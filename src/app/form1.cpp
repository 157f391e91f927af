#include "app/form1.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QTimer>

#include <filesystem>

#include "browser/dir_list.h"
#include "browser/drive_list.h"
#include "browser/file_list.h"
#include "browser/folder_listing.h"
#include "browser/local_name.h"
#include "browser/selected_file_path.h"
#include "player/play_time.h"
#include "tag/genre_table.h"
#include "tag/latin1_text.h"
#include "tag/trailer_file.h"

namespace {

const QString kSaveErrorTitle = QStringLiteral("MP3 Tag Save Error");

std::string localPath(const QString& path) {
    return browser::localBytes(path).toStdString();
}

// Tag text is one byte a character in Latin-1, so every byte value has its character.
QString fromLatin1(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The folder the program was started from, read as bytes: Qt would spell a name that is not
// UTF-8 wrong.
QString currentFolder() {
    std::error_code error;
    const std::string bytes = std::filesystem::current_path(error).native();
    return browser::fromLocalBytes(QByteArrayView(bytes.data(), std::ssize(bytes)));
}

// The folder the program starts in: the one it was started from, or the home folder or the
// root when that one can no longer be listed.
QString startFolder() {
    for (const QString& candidate : {currentFolder(), QDir::homePath()}) {
        if (browser::whyUnlistable(candidate).isEmpty()) {
            return candidate;
        }
    }
    return QStringLiteral("/");
}

}  // namespace

Form1::Form1(std::unique_ptr<MediaComponent> media, QWidget* parent) : QWidget(parent) {
    MediaPlayer1 = media.release();
    MediaPlayer1->setParent(this);
    createControls();
    connectHandlers();
    Form_Load();
}

void Form1::connectHandlers() {
    connect(Drive1, &browser::DriveList::driveChanged, this, &Form1::Drive1_Change);
    connect(Dir1, &browser::DirList::pathChanged, this, &Form1::Dir1_Change);
    connect(Dir1, &browser::DirList::openFailed, this, &Form1::Dir1_OpenFailed);
    connect(File1, &browser::FileList::fileClicked, this, &Form1::File1_Click);
    connect(cmdWriteTag, &QAbstractButton::clicked, this, &Form1::cmdWriteTag_Click);
    connect(cmdOpen, &QAbstractButton::clicked, this, &Form1::cmdOpen_Click);
    connect(Command1, &QAbstractButton::clicked, this, &Form1::Command1_Click);
    connect(MediaPlayer1, &MediaComponent::playStateChanged, this,
            &Form1::MediaPlayer1_PlayStateChange);
    connect(Timer1, &QTimer::timeout, this, &Form1::Timer1_Timer);
}

void Form1::Form_Load() {
    // The drive list shows the start folder's drive, with the start folder as that drive's
    // current folder; the folder list then opens it, and the file list follows.
    const QString start = startFolder();
    Drive1->followFolder(start);
    Dir1->setPath(start);
    for (const std::string_view name : tag::kGenreNames) {
        Combo1->addItem(fromLatin1(name));
    }
    // The open list is as wide as its longest name, so that no name is cut short there.
    QAbstractItemView* genres = Combo1->view();
    genres->setMinimumWidth(genres->sizeHintForColumn(0) +
                            genres->verticalScrollBar()->sizeHint().width() +
                            2 * genres->style()->pixelMetric(QStyle::PM_DefaultFrameWidth));
    Combo1->setCurrentIndex(tag::kNoGenrePosition);
}

void Form1::keyPressEvent(QKeyEvent* event) {
    // Enter presses the focused button; elsewhere it plays and stops, and Escape leaves: the
    // window's default and cancel buttons.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* focused = qobject_cast<QAbstractButton*>(focusWidget())) {
                focused->click();
            } else {
                cmdOpen->click();
            }
            return;
        case Qt::Key_Escape:
            Command1->click();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void Form1::Drive1_Change() {
    Dir1->setPath(Drive1->currentFolderOf(Drive1->drive()));
    File1->setPath(Dir1->path());
}

void Form1::Dir1_Change() {
    Drive1->followFolder(Dir1->path());
    File1->setPath(Dir1->path());
}

void Form1::Dir1_OpenFailed(const QString& folder, const QString& reason) {
    // The lists stay on the last folder that could be shown, and the drive list with them.
    Drive1->followFolder(Dir1->path());
    QMessageBox::warning(
        this, kApplicationTitle,
        tr("Cannot open the folder %1: %2.").arg(browser::nameForMessages(folder), reason));
}

void Form1::ClearTagFields() {
    lblMsg->clear();
    for (QLineEdit* box : {txtTitle, txtArtist, txtAlbum, txtYear, txtComment, txtGenreCode}) {
        box->clear();
    }
    Combo1->setCurrentIndex(tag::kNoGenrePosition);
}

QString Form1::SelectedFilePath() const {
    return browser::SelectedFilePath(Dir1->path(), File1->fileName());
}

void Form1::File1_Click() {
    ClearTagFields();
    filePath = SelectedFilePath();
    const tag::TrailerRead read = tag::readTrailer(localPath(filePath));
    switch (read.outcome) {
        case tag::TrailerRead::Outcome::Trailer:
            tag = tag::TagRecord::decode(read.lastBytes);
            showTag();
            break;
        case tag::TrailerRead::Outcome::NoTrailer:
        case tag::TrailerRead::Outcome::NotAFile:
            lblMsg->setText(QStringLiteral("No tag"));
            break;
        case tag::TrailerRead::Outcome::Unreadable:
            lblMsg->setText(tr("Cannot read file"));
            break;
    }
}

void Form1::showTag() {
    // A text wider than its box shows its start.
    const auto show = [](QLineEdit* box, const QString& text) {
        box->setText(text);
        box->setCursorPosition(0);
    };
    const auto shown = [this](tag::TagField field) {
        return fromLatin1(tag::shownText(tag.text(field)));
    };
    show(txtTitle, shown(tag::TagField::Title));
    show(txtArtist, shown(tag::TagField::Artist));
    show(txtAlbum, shown(tag::TagField::Album));
    show(txtYear, shown(tag::TagField::Year));
    show(txtComment, shown(tag::TagField::Comment));
    show(txtGenreCode, QString::number(tag.genreCode()));
    Combo1->setCurrentIndex(tag::genrePositionFromCode(tag.genreCode()));
}

void Form1::cmdWriteTag_Click() {
    if (isPlaying) {
        showSaveError(QStringLiteral("You can't save to an open file"));
        return;
    }
    filePath = SelectedFilePath();
    const auto store = [this](tag::TagField field, const QString& text) {
        tag.store(field, tag::latin1Bytes(text));
    };
    store(tag::TagField::Tag, QStringLiteral("TAG"));
    store(tag::TagField::Title, txtTitle->text());
    store(tag::TagField::Artist, txtArtist->text());
    store(tag::TagField::Album, txtAlbum->text());
    store(tag::TagField::Year, txtYear->text());
    store(tag::TagField::Comment, txtComment->text());
    tag.store(
        tag::TagField::Genre,
        std::string(1, static_cast<char>(tag::genreCodeFromPosition(Combo1->currentIndex()))));

    if (File1->fileName().isEmpty()) {
        showSaveError(tr("No file is selected: choose a file in the file list first."));
        return;
    }
    const tag::EditedTag edited{tag, tag::latin1Bytes(txtComment->text()).size()};
    const tag::TrailerWrite written = tag::writeTrailer(localPath(filePath), edited);
    if (!written.saved) {
        showSaveError(tr("The tag was not saved to %1: %2.")
                          .arg(browser::nameForMessages(filePath),
                               browser::readableName(browser::fromLocalBytes(written.reason))));
        return;
    }
    lblMsg->setText(tr("Tag saved"));
}

void Form1::showSaveError(const QString& text) {
    QMessageBox::critical(this, kSaveErrorTitle, text);
}

void Form1::cmdOpen_Click() {
    if (!isPlaying) {
        MediaPlayer1->setSourceFile(core::FilePath(browser::localBytes(filePath)));
        MediaPlayer1->setAutoRewind(false);
    } else {
        MediaPlayer1->setSourceFile(core::FilePath());
    }
}

void Form1::MediaPlayer1_PlayStateChange(qint32 /*oldState*/, qint32 newState) {
    lblTotalTime->setText(QString::fromStdString(player::totalTimeText(MediaPlayer1->duration())));
    isPlaying = newState != MediaComponent::kStopped;
}

void Form1::Timer1_Timer() {
    lblElapsedTime->setText(
        QString::fromStdString(player::elapsedTimeText(MediaPlayer1->currentPosition())));
}

void Form1::Command1_Click() {
    QMessageBox credit(QMessageBox::NoIcon, kApplicationTitle,
                       QStringLiteral("Written by Corvenal"), QMessageBox::Ok, this);
    credit.exec();
    Timer1->stop();
    close();
    QCoreApplication::quit();
}

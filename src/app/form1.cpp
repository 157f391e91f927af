#include "app/form1.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QCoreApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QTextDocument>
#include <QTimer>

#include <filesystem>

#include "app/id3v2_notice.h"
#include "app/recovery_notice.h"
#include "app/save_report.h"
#include "browser/dir_list.h"
#include "browser/drive_list.h"
#include "browser/file_list.h"
#include "browser/folder_listing.h"
#include "browser/selected_file_path.h"
#include "core/code_page.h"
#include "player/play_time.h"
#include "tag/genre_table.h"
#include "tag/id3v2_file.h"
#include "tag/id3v2_update.h"
#include "tag/tags_write.h"
#include "tag/trailer_file.h"

namespace {

const QString kSaveErrorTitle = QStringLiteral("MP3 Tag Save Error");

// The folder the program starts in: the one it was started from, or the home folder or the
// root when that one can no longer be listed. Both are read as bytes: Qt would spell a name
// that is not UTF-8 wrong.
core::FilePath startFolder() {
    std::error_code error;
    const core::FilePath current(
        QByteArray::fromStdString(std::filesystem::current_path(error).native()));
    const core::FilePath home(qgetenv("HOME"));
    for (const core::FilePath& candidate : {current, home}) {
        if (!candidate.isEmpty() && browser::whyUnlistable(candidate).isEmpty()) {
            return candidate;
        }
    }
    return core::FilePath(QByteArrayLiteral("/"));
}

// A reason from the tag writer, which may name a path by its bytes.
QString readableReason(const std::string& reason) {
    return core::FilePath(QByteArray::fromStdString(reason)).readable();
}

}  // namespace

Form1::Form1(std::unique_ptr<MediaComponent> media, QWidget* parent) : QWidget(parent) {
    MediaPlayer1 = media.release();
    MediaPlayer1->setParent(this);
    createControls();
    connectHandlers();
    Form_Load();
    // A file or folder dropped anywhere but on a text box, which takes it as text, opens.
    setAcceptDrops(true);
    QAccessible::installActivationObserver(this);
}

Form1::~Form1() {
    QAccessible::removeActivationObserver(this);
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
    lblMsg->installEventFilter(this);
}

void Form1::Form_Load() {
    // The drive list shows the start folder's drive, with the start folder as that drive's
    // current folder; the folder list then opens it, and the file list follows.
    const core::FilePath start = startFolder();
    Drive1->followFolder(start);
    Dir1->setPath(start);
    for (const std::string_view name : id3::kGenreNames) {
        Combo1->addItem(QLatin1String(name.data(), std::ssize(name)));
    }
    Combo1->setCurrentIndex(id3::kNoGenrePosition);
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
    tellFilesBeside();
}

void Form1::Dir1_OpenFailed(const core::FilePath& folder, const QString& reason) {
    // The lists stay on the last folder that could be shown, and the drive list with them.
    Drive1->followFolder(Dir1->path());
    QMessageBox::warning(this, kApplicationTitle,
                         tr("Cannot open the folder %1: %2.").arg(folder.forMessages(), reason));
}

void Form1::ClearTagFields() {
    lblMsg->clear();
    lblMsg->setToolTip(QString());
    lblMsg->setAccessibleDescription(QString());
    id3v2DetailsUnread = false;
    for (QLineEdit* box : {txtTitle, txtArtist, txtAlbum, txtYear, txtComment, txtGenreCode}) {
        box->clear();
    }
    Combo1->setCurrentIndex(id3::kNoGenrePosition);
}

core::FilePath Form1::SelectedFilePath() const {
    return browser::SelectedFilePath(Dir1->path(), File1->fileName());
}

void Form1::File1_Click() {
    ClearTagFields();
    filePath = SelectedFilePath();
    const id3::TrailerRead read = id3::readTrailerForEditing(filePath);
    shownTrailer = {};
    id3v2AtClick = read.beginsWithId3v2Tag;
    switch (read.outcome) {
        case id3::TrailerRead::Outcome::Trailer:
            tag = id3::TagRecord::decode(read.lastBytes);
            shownTrailer.bytes = read.lastBytes;
            showTag();
            break;
        case id3::TrailerRead::Outcome::NoTrailer:
        case id3::TrailerRead::Outcome::NotAFile:
            lblMsg->setText(QStringLiteral("No tag"));
            break;
        case id3::TrailerRead::Outcome::Unreadable:
            lblMsg->setText(tr("Cannot read file"));
            break;
    }
    if (read.outcome == id3::TrailerRead::Outcome::Trailer ||
        read.outcome == id3::TrailerRead::Outcome::NoTrailer) {
        showId3v2Tag(read);
    }
    showRecovery(read.recovery);
    shownAtClick = fieldsShown();
    tellFilesBeside();
}

// What became of a save that was cut short takes the message label; what it said before moves
// into the tooltip, after why.
void Form1::showRecovery(const storage::JournalRecovery& recovery) {
    const std::optional<RecoveryNotice> notice =
        recoveryNotice(recovery.outcome, readableReason(recovery.reason));
    if (!notice) {
        return;
    }
    QStringList toolTip{notice->toolTip};
    if (!lblMsg->text().isEmpty()) {
        toolTip << lblMsg->text();
    }
    lblMsg->setText(notice->text);
    lblMsg->setToolTip(toolTip.join(QLatin1Char('\n')));
    lblMsg->setAccessibleDescription(lblMsg->toolTip());
    id3v2DetailsUnread = false;
}

// The fields keep showing the trailer; the message label tells of an ID3v2 tag beside it, and
// its tooltip and accessible description what that tag names. Those are read only when they
// can be asked for, so that a click stays quick: when the tooltip is, and from the click on
// while a screen reader listens, since it reads the description without asking.
void Form1::showId3v2Tag(const id3::TrailerRead& read) {
    if (!read.beginsWithId3v2Tag) {
        return;
    }
    lblMsg->setText(id3v2Message(read.outcome == id3::TrailerRead::Outcome::Trailer));
    id3v2DetailsUnread = true;
    if (QAccessible::isActive()) {
        showId3v2Details();
    }
}

void Form1::showId3v2Details() {
    id3v2DetailsUnread = false;
    const std::optional<id3::Id3v2Fields> id3v2 = id3::readId3v2Fields(filePath);
    const QString details = id3v2 ? id3v2Details(*id3v2) : QString();
    lblMsg->setToolTip(id3v2 ? Qt::convertFromPlainText(details) : QString());
    lblMsg->setAccessibleDescription(details);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblMsg && event->type() == QEvent::ToolTip && id3v2DetailsUnread) {
        showId3v2Details();
    }
    return QWidget::eventFilter(watched, event);
}

void Form1::accessibilityActiveChanged(bool active) {
    if (active && id3v2DetailsUnread) {
        showId3v2Details();
    }
}

ShownFields Form1::fieldsShown() const {
    return {.title = txtTitle->text(),
            .artist = txtArtist->text(),
            .album = txtAlbum->text(),
            .year = txtYear->text(),
            .comment = txtComment->text(),
            .genrePosition = Combo1->currentIndex()};
}

void Form1::showTag() {
    // A text wider than its box shows its start.
    const auto show = [](QLineEdit* box, const QString& text) {
        box->setText(text);
        box->setCursorPosition(0);
    };
    const auto shown = [this](id3::TagField field) {
        return core::CodePage::system().decode(id3::shownText(tag.text(field)));
    };
    show(txtTitle, shown(id3::TagField::Title));
    show(txtArtist, shown(id3::TagField::Artist));
    show(txtAlbum, shown(id3::TagField::Album));
    show(txtYear, shown(id3::TagField::Year));
    show(txtComment, shown(id3::TagField::Comment));
    show(txtGenreCode, QString::number(tag.genreCode()));
    Combo1->setCurrentIndex(id3::genrePositionFromCode(tag.genreCode()));
}

void Form1::cmdWriteTag_Click() {
    if (isPlaying) {
        showSaveError(QStringLiteral("You can't save to an open file"));
        return;
    }
    filePath = SelectedFilePath();
    QString replaced;
    const auto store = [this, &replaced](id3::TagField field, const QString& text) {
        const core::CodePage::Encoded encoded = core::CodePage::system().encode(text);
        tag.store(field, encoded.bytes.toStdString());
        replaced += encoded.replaced;
        return encoded.bytes.size();
    };
    store(id3::TagField::Tag, QStringLiteral("TAG"));
    store(id3::TagField::Title, txtTitle->text());
    store(id3::TagField::Artist, txtArtist->text());
    store(id3::TagField::Album, txtAlbum->text());
    store(id3::TagField::Year, txtYear->text());
    const auto commentLength =
        static_cast<std::size_t>(store(id3::TagField::Comment, txtComment->text()));
    tag.store(
        id3::TagField::Genre,
        std::string(1, static_cast<char>(id3::genreCodeFromPosition(Combo1->currentIndex()))));

    if (File1->fileName().isEmpty()) {
        showSaveError(tr("No file is selected: choose a file in the file list first."));
        return;
    }
    const id3::EditedTag edited{tag, commentLength, shownTrailer};
    // The ID3v2 tag takes the fields changed since the click, whole, as the file holds that tag
    // when it is saved.
    const id3::Id3v2Changes changes = id3v2Changes(shownAtClick, fieldsShown());
    std::string id3v2Left;
    const auto id3v2Update = [&](std::string_view tagInFile) {
        id3::UpdatedId3v2 updated = id3::updatedId3v2(tagInFile, changes);
        id3v2Left = std::move(updated.whyLeft);
        return std::move(updated.tag);
    };
    const id3::TagsWrite written = id3::writeTags(filePath, edited, id3v2Update);
    if (!written.trailer.saved) {
        const QString notSaved =
            id3v2AtClick && changes.any()
                ? tr("Neither the ID3v1 nor the ID3v2 tag was saved to %1: %2.")
                : tr("The tag was not saved to %1: %2.");
        showSaveError(notSaved.arg(filePath.forMessages(), readableReason(written.trailer.reason)));
        return;
    }
    shownTrailer.bytes = written.trailer.written;
    QString whyId3v2NotSaved = readableReason(id3v2Left);
    if (written.id3v2 == id3::TagsWrite::Id3v2::NotSaved) {
        whyId3v2NotSaved = readableReason(written.id3v2Reason);
        QMessageBox::warning(this, kSaveErrorTitle,
                             tr("The ID3v1 tag was saved to %1, but its ID3v2 tag was not: %2.")
                                 .arg(filePath.forMessages(), whyId3v2NotSaved));
    } else {
        // What the ID3v2 tag now holds is what the boxes show, or it was left for good.
        shownAtClick = fieldsShown();
    }
    id3v2DetailsUnread = false;
    const SaveReport report =
        saveReport(replaced, core::CodePage::system().number(), whyId3v2NotSaved);
    lblMsg->setText(report.text);
    lblMsg->setToolTip(report.toolTip);
    lblMsg->setAccessibleDescription(report.toolTip);
}

void Form1::showSaveError(const QString& text) {
    QMessageBox::critical(this, kSaveErrorTitle, text);
}

void Form1::cmdOpen_Click() {
    if (!isPlaying) {
        playChosenFile();
    } else {
        MediaPlayer1->setSourceFile(core::FilePath());
    }
}

void Form1::playChosenFile() {
    MediaPlayer1->setSourceFile(filePath);
    MediaPlayer1->setAutoRewind(false);
}

QString Form1::open(const core::FilePath& path) {
    return openPlace(browser::placeToOpen(path, File1->pattern()), path);
}

void Form1::openAndPlay(const core::FilePath& path) {
    const browser::PlaceToOpen place = browser::placeToOpen(path, File1->pattern());
    openPlace(place, path);
    if (!place.fileName.isEmpty() && File1->fileName() == place.fileName) {
        playChosenFile();
    }
}

QString Form1::openPlace(const browser::PlaceToOpen& place, const core::FilePath& path) {
    if (!place.whyNot.isEmpty()) {
        // The line is narrow: it gives the reason, its tooltip the whole message.
        const QString message = tr("Cannot open %1: %2.").arg(path.forMessages(), place.whyNot);
        lblMsg->setText(place.whyNot.front().toUpper() + place.whyNot.sliced(1));
        lblMsg->setToolTip(message);
        lblMsg->setAccessibleDescription(message);
        return message;
    }
    Dir1->setPath(place.folder);
    if (!place.fileName.isEmpty()) {
        File1->choose(place.fileName);
    }
    return {};
}

bool Form1::hasFileBeside(int step) const {
    const int row = File1->chosenRow() + step;
    return row >= 0 && row < File1->count();
}

void Form1::playFileBeside(int step) {
    if (hasFileBeside(step)) {
        File1->chooseRow(File1->chosenRow() + step);
        playChosenFile();
    }
}

void Form1::tellFilesBeside() {
    emit filesBesideChanged(hasFileBeside(-1), hasFileBeside(1));
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && !core::FilePath::fromFileUrl(urls.front()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void Form1::dropEvent(QDropEvent* event) {
    // Of several, the first: the lists show one folder and choose one file.
    open(core::FilePath::fromFileUrl(event->mimeData()->urls().front()));
    event->acceptProposedAction();
}

void Form1::MediaPlayer1_PlayStateChange(qint32 /*oldState*/, qint32 newState) {
    lblTotalTime->setText(QString::fromStdString(player::totalTimeText(MediaPlayer1->duration())));
    isPlaying = newState != MediaComponent::kStopped;
}

void Form1::Timer1_Timer() {
    // The text is made only for a time the label does not show yet: the tick comes 16 times a
    // second and the time changes once.
    const player::MinutesSeconds elapsed = player::splitPlayTime(MediaPlayer1->currentPosition());
    if (elapsed != shownElapsed) {
        lblElapsedTime->setText(QString::fromStdString(player::elapsedTimeText(elapsed)));
        shownElapsed = elapsed;
    }
}

void Form1::Command1_Click() {
    QMessageBox credit(QMessageBox::NoIcon, kApplicationTitle,
                       QStringLiteral("Written by Corvenal"), QMessageBox::Ok, this);
    credit.exec();
    Timer1->stop();
    close();
    QCoreApplication::quit();
}

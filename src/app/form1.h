#pragma once

#include <QAccessible>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>

#include "app/shown_fields.h"
#include "core/file_path.h"
#include "player/media_component.h"
#include "player/play_time.h"
#include "tag/saved_trailer.h"
#include "tag/tag_record.h"

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace browser {
class DirList;
class DriveList;
class FileList;
struct PlaceToOpen;
}  // namespace browser

namespace id3 {
struct TrailerRead;
}  // namespace id3

namespace storage {
struct JournalRecovery;
}  // namespace storage

// The player's one window: the drive, folder and file lists on the left, the tag fields on the
// right, the play/stop button and play times below them and the media strip along the bottom.
// Each user action runs one handler; the handlers share only the state kept here.
//
// The controls keep the names of the window's design, and each handler is named after its
// control and event (File1_Click). Names that do not say what their control is:
//   Command1      the close button (top right)
//   cmdOpen       the play & stop button
//   Picture1      the banner
//   Combo1        the genre list
//   Timer1        the 60 ms tick that shows the elapsed time
//   MediaPlayer1  the media strip along the bottom
//   Drive1, Dir1, File1   the drive, folder and file lists
//   Label1-Label6 the field labels; Shape1, Shape2 and Line1 the frames and the dividing line
class Form1 : public QWidget, private QAccessible::ActivationObserver {
    Q_OBJECT

public:
    // The window's caption, and the title of every message box that names none of its own.
    static inline const QString kApplicationTitle = QStringLiteral("Tamsel's MP3 Player");

    explicit Form1(std::unique_ptr<MediaComponent> media, QWidget* parent = nullptr);
    ~Form1() override;

    // Hands the file last chosen to the media strip, as play & stop does while nothing plays.
    void playChosenFile();

    // Opens `path` in the lists: a folder itself, a file in its folder, chosen as a click
    // chooses it. Returns why it cannot, which the message line says as well; empty when it
    // opened.
    QString open(const core::FilePath& path);
    // Opens `path` as open() does, and plays it when it is a file.
    void openAndPlay(const core::FilePath& path);
    // Chooses and plays the file `step` entries after the chosen one in the file list (before
    // it, for a negative step; from the top when none is chosen); nothing past either end.
    void playFileBeside(int step);
    bool hasFileBeside(int step) const;

signals:
    // Whether the file list holds a file before and after the chosen one may have changed.
    void filesBesideChanged(bool before, bool after);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void connectHandlers();
    void Form_Load();

    void Drive1_Change();
    void Dir1_Change();
    void Dir1_OpenFailed(const core::FilePath& folder, const QString& reason);
    void File1_Click();
    void cmdWriteTag_Click();
    void cmdOpen_Click();
    void MediaPlayer1_PlayStateChange(qint32 oldState, qint32 newState);
    void Timer1_Timer();
    void Command1_Click();

    QString openPlace(const browser::PlaceToOpen& place, const core::FilePath& path);
    void tellFilesBeside();

    void ClearTagFields();
    core::FilePath SelectedFilePath() const;
    void showTag();
    void showId3v2Tag(const id3::TrailerRead& read);
    void showId3v2Details();
    // A screen reader began or stopped listening.
    void accessibilityActiveChanged(bool active) override;
    void showRecovery(const storage::JournalRecovery& recovery);
    ShownFields fieldsShown() const;
    void showSaveError(const QString& text);

    // Window state: the last chosen file, whether the media strip holds a file, the last tag
    // read or written, the chosen file's trailer as the boxes began from it, and what the tag
    // fields showed after the last click or save (against which a save finds the fields the
    // user changed), whether the clicked file began with an ID3v2 tag, and whether the message
    // label tells of that tag with what it names still to be read.
    core::FilePath filePath;
    bool isPlaying = false;
    id3::TagRecord tag;
    id3::ShownTrailer shownTrailer;
    ShownFields shownAtClick;
    bool id3v2AtClick = false;
    bool id3v2DetailsUnread = false;
    // The time the elapsed-time label shows; nothing before the first tick.
    std::optional<player::MinutesSeconds> shownElapsed;

    browser::DriveList* Drive1 = nullptr;
    browser::DirList* Dir1 = nullptr;
    browser::FileList* File1 = nullptr;
    QLabel* lblMsg = nullptr;
    QLineEdit* txtTitle = nullptr;
    QLineEdit* txtArtist = nullptr;
    QLineEdit* txtAlbum = nullptr;
    QLineEdit* txtYear = nullptr;
    QLineEdit* txtComment = nullptr;
    QLineEdit* txtGenreCode = nullptr;
    QComboBox* Combo1 = nullptr;
    QAbstractButton* cmdWriteTag = nullptr;
    QAbstractButton* cmdOpen = nullptr;
    QAbstractButton* Command1 = nullptr;
    QLabel* lblTotalTime = nullptr;
    QLabel* lblElapsedTime = nullptr;
    QTimer* Timer1 = nullptr;
    MediaComponent* MediaPlayer1 = nullptr;
    QPixmap background_;
};

#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <memory>

#include "player/media_component.h"
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
}  // namespace browser

// The player's one window: the drive, folder and file lists on the left, the tag fields on the
// right, the play/stop button and play times below them and the media strip along the bottom.
// Each user action runs one handler; the handlers share only the state kept here.
class Form1 : public QWidget {
    Q_OBJECT

public:
    // The window's caption, and the title of every message box that names none of its own.
    static inline const QString kApplicationTitle = QStringLiteral("Tamsel's MP3 Player");

    explicit Form1(std::unique_ptr<MediaComponent> media, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void createControls();
    void connectHandlers();
    void Form_Load();

    void Drive1_Change();
    void Dir1_Change();
    void Dir1_OpenFailed(const QString& folder, const QString& reason);
    void File1_Click();
    void cmdWriteTag_Click();
    void cmdOpen_Click();
    void MediaPlayer1_PlayStateChange(qint32 oldState, qint32 newState);
    void Timer1_Timer();
    void Command1_Click();

    void ClearTagFields();
    QString SelectedFilePath() const;
    void showTag();
    void showSaveError(const QString& text);

    // Window state: the last chosen file, whether the media strip holds a file, the last tag
    // read or written.
    QString filePath;
    bool isPlaying = false;
    tag::TagRecord tag;

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

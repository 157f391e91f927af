#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include "core/file_path.h"

namespace player {
class Playback;
}

namespace desktop {

// Lets the desktop's media keys and media panel see and steer `playback` through MPRIS
// (org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player). What concerns the program's
// files rather than the playback is asked of whoever listens to its signals: playing the file
// chosen in the program, a file the desktop names, or the one before or after the chosen one,
// and bringing the program forward or ending it.
class MprisService : public QObject {
    Q_OBJECT

public:
    // `programName` is the name the desktop shows for the player.
    MprisService(player::Playback& playback, QString programName, QObject* parent = nullptr);

    // Offers the player on `bus`, once. Returns the bus name taken, or an empty string when
    // there is no bus or it would not have the player; the program then works as it does
    // without a desktop.
    QString publish(QDBusConnection bus);

    // Whether the program has a file before and after the one chosen in it, for the desktop's
    // Previous and Next.
    void setFilesBeside(bool before, bool after);
    bool hasFileBefore() const { return fileBefore_; }
    bool hasFileAfter() const { return fileAfter_; }

signals:
    // Play when nothing is open: the program plays the file chosen in it, if any.
    void playChosenFileRequested();
    // OpenUri: the program chooses `file` as its lists would and plays it.
    void playFileRequested(const core::FilePath& file);
    // Next (1) and Previous (-1): the program chooses and plays the file `step` entries from
    // the chosen one.
    void playFileBesideRequested(int step);
    void filesBesideChanged();
    void raiseRequested();
    void quitRequested();

private:
    player::Playback& playback_;
    QString programName_;
    bool fileBefore_ = false;
    bool fileAfter_ = false;
};

}  // namespace desktop

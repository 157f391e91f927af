#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

namespace player {
class Playback;
}

namespace desktop {

// Lets the desktop's media keys and media panel see and steer `playback` through MPRIS
// (org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player). Their Play, when nothing is open,
// asks for the file chosen in the program through playChosenFileRequested(); bringing the
// program forward and ending it are left to whoever listens to raiseRequested() and
// quitRequested().
class MprisService : public QObject {
    Q_OBJECT

public:
    // `programName` is the name the desktop shows for the player.
    MprisService(player::Playback& playback, QString programName, QObject* parent = nullptr);

    // Offers the player on `bus`, once. Returns the bus name taken, or an empty string when
    // there is no bus or it would not have the player; the program then works as it does
    // without a desktop.
    QString publish(QDBusConnection bus);

signals:
    // Play when nothing is open: the program plays the file chosen in it, if any.
    void playChosenFileRequested();
    void raiseRequested();
    void quitRequested();

private:
    player::Playback& playback_;
    QString programName_;
};

}  // namespace desktop

#pragma once

#include <QObject>
#include <QString>

#include "core/file_path.h"

namespace player {

// One file played at a time, as its controls see it: what plays and where, what the player
// says of it, and the requests that steer it. Requests take effect in the order made; the last
// one wins.
class Playback : public QObject {
    Q_OBJECT

public:
    // The numbers are those of the window's play-state reports.
    enum class PlayState : qint32 {
        Stopped = 0,  // nothing plays, no file open
        Paused = 1,   // a file is open, held
        Playing = 2,  // a file plays and its length is known
        Waiting = 3,  // a file is given and starts to play, its length still being found
    };
    Q_ENUM(PlayState)

    using QObject::QObject;

    virtual PlayState state() const = 0;
    // The file last given to play.
    virtual core::FilePath source() const = 0;
    // In seconds; 0 while unknown.
    virtual double length() const = 0;
    virtual double position() const = 0;
    // From 0 (silent) to 1 (full), as sound mixers number it: on a cubic scale of the sound's
    // amplitude, so that 0.5 shows as 50% in the mixers.
    virtual double volume() const = 0;
    // What the player does, or why it cannot, in a few plain words ("Paused song.mp3").
    virtual QString statusText() const = 0;

    // A file opens that file and starts playing it; an empty path stops playback and releases
    // the file before this returns.
    virtual void setSource(const core::FilePath& file) = 0;
    // Whether the position goes back to the start when a file has played to its end.
    virtual void setAutoRewind(bool on) = 0;

    // Goes on with a held file, or plays the source again from its start.
    virtual void play() = 0;
    virtual void pause() = 0;
    // Pauses when the last request was to play, plays otherwise.
    virtual void pauseOrResume() = 0;
    // Stops and goes back to the start, keeping the source.
    virtual void stop() = 0;
    // Goes to `seconds` from the start, exactly; a place outside the file is taken to its
    // nearest end, and one that is not a number is ignored.
    virtual void seek(double seconds) = 0;
    // Taken to 0 to 1; a level that is not a finite number is ignored (requested_level.h).
    virtual void setVolume(double level) = 0;

signals:
    void stateChanged(player::Playback::PlayState oldState, player::Playback::PlayState newState);
    // The length has become known, or exact.
    void lengthChanged(double seconds);
    // A seek has been done; `seconds` is where playback now stands.
    void seeked(double seconds);
    void volumeChanged(double level);
    void statusTextChanged(const QString& text);
};

}  // namespace player

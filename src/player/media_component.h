#pragma once

#include <QString>
#include <QWidget>

#include <memory>

// The media strip at the bottom of the window: it plays one file at a time and reports each
// change of its play state.
class MediaComponent : public QWidget {
    Q_OBJECT

public:
    // Play states reported through playStateChanged().
    static constexpr qint32 kStopped = 0;  // nothing plays, no file open
    static constexpr qint32 kPaused = 1;   // a file is open, held
    static constexpr qint32 kPlaying = 2;  // a file plays and its length is known
    // A file is given and starts to play, its length still being found.
    static constexpr qint32 kWaiting = 3;

    using QWidget::QWidget;

    // A path opens that file and starts playing it; an empty path stops playback and releases
    // the file before this returns.
    virtual void setSourceFile(const QString& path) = 0;
    // Whether the position goes back to the start when a file has played to its end.
    virtual void setAutoRewind(bool on) = 0;
    // The source's total length in seconds.
    virtual double duration() const = 0;
    // The play position in seconds.
    virtual double currentPosition() const = 0;

    // The file last given to setSourceFile().
    virtual QString sourceFile() const = 0;

    // What the strip's own buttons and sliders do, for controls outside the window such as the
    // desktop's media keys.
    // The play/pause button: holds a playing file, goes on with a held one.
    virtual void pauseOrResume() = 0;
    // The stop button: stops and goes back to the start, keeping the source.
    virtual void stopPlayback() = 0;
    // The position slider, moved to `seconds` from the start.
    virtual void seekTo(double seconds) = 0;
    // The volume slider, from 0 (silent) to 1 (full).
    virtual double volume() const = 0;
    virtual void setVolume(double level) = 0;

signals:
    void playStateChanged(qint32 oldState, qint32 newState);
    void volumeChanged(double level);
};

// The component that plays through the system's media framework.
std::unique_ptr<MediaComponent> createSystemMediaComponent();

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

signals:
    void playStateChanged(qint32 oldState, qint32 newState);
};

// The component that plays through the system's media framework.
std::unique_ptr<MediaComponent> createSystemMediaComponent();

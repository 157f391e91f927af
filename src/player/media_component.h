#pragma once

#include <QWidget>

#include "core/file_path.h"
#include "player/playback.h"

// The media strip at the bottom of the window: it plays one file at a time and reports each
// change of its play state.
class MediaComponent : public QWidget {
    Q_OBJECT

public:
    // Play states reported through playStateChanged(), numbered as player::Playback::PlayState.
    static constexpr qint32 kStopped = qint32(player::Playback::PlayState::Stopped);
    static constexpr qint32 kPaused = qint32(player::Playback::PlayState::Paused);
    static constexpr qint32 kPlaying = qint32(player::Playback::PlayState::Playing);
    static constexpr qint32 kWaiting = qint32(player::Playback::PlayState::Waiting);

    using QWidget::QWidget;

    // A path opens that file and starts playing it; an empty path stops playback and releases
    // the file before this returns.
    virtual void setSourceFile(const core::FilePath& path) = 0;
    // Whether the position goes back to the start when a file has played to its end.
    virtual void setAutoRewind(bool on) = 0;
    // The source's total length in seconds.
    virtual double duration() const = 0;
    // The play position in seconds.
    virtual double currentPosition() const = 0;
    // The file last given to setSourceFile().
    virtual core::FilePath sourceFile() const = 0;

signals:
    void playStateChanged(qint32 oldState, qint32 newState);
};

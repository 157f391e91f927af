#pragma once

#include <QIcon>

#include "player/media_component.h"
#include "player/playback.h"

class QLabel;
class QSlider;
class QTimer;
class QToolButton;

// The media strip over a playback: play/pause, stop, a position slider that seeks, a volume
// slider and a line that says what the playback does or why it cannot. It shows what the
// playback reports and hands each use of its controls to the playback as a request. The
// playback must outlive the strip.
class MediaStrip : public MediaComponent {
    Q_OBJECT

public:
    explicit MediaStrip(player::Playback& playback, QWidget* parent = nullptr);

    void setSourceFile(const core::FilePath& path) override;
    void setAutoRewind(bool on) override { playback_.setAutoRewind(on); }
    double duration() const override { return playback_.length(); }
    double currentPosition() const override { return playback_.position(); }
    core::FilePath sourceFile() const override { return playback_.source(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using PlayState = player::Playback::PlayState;

    void createFace();
    void followPlayback();
    void followState(PlayState oldState, PlayState newState);
    void playOrPause();
    void refreshFace();
    int measureHandleTravel() const;
    void seek(int sliderValue);
    void tellUser(const QString& text);
    void showStatus();

    player::Playback& playback_;
    QString statusText_;  // the status line whole, before it is cut to the strip

    QIcon playIcon_;
    QIcon pauseIcon_;
    QToolButton* playPause_ = nullptr;
    QToolButton* stopButton_ = nullptr;
    QSlider* position_ = nullptr;
    QSlider* volume_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer* faceRefresh_ = nullptr;
    // The pixels the position handle's left edge crosses from start to end, as the style
    // draws it; measured when the slider is resized rather than at every refresh.
    int handleTravel_ = 0;
};

#pragma once

#include <QIcon>
#include <QThreadPool>

#include <atomic>
#include <optional>
#include <stop_token>
#include <string>

#include "player/media_component.h"

class QLabel;
class QSlider;
class QTimer;
class QToolButton;
typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;

// Plays through GStreamer's playbin. Its face is a strip with play/pause, stop, a position
// slider that seeks, a volume slider and a line that says what it does or why it cannot.
// It reports that a file plays (kWaiting) as soon as the file is handed to GStreamer, and
// kPlaying once it plays and its frames are counted.
class GstMediaComponent : public MediaComponent {
    Q_OBJECT

public:
    explicit GstMediaComponent(QWidget* parent = nullptr);
    ~GstMediaComponent() override;

    void setSourceFile(const QString& path) override;
    void setAutoRewind(bool on) override { autoRewind_ = on; }
    double duration() const override;
    double currentPosition() const override;

    QString sourceFile() const override { return source_; }
    void pauseOrResume() override;
    void stopPlayback() override;
    void seekTo(double seconds) override;
    double volume() const override;
    void setVolume(double level) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createFace();
    bool ensurePlaybin();
    void start();
    void stop(double keptPosition);
    void handleMessage(GstMessage* message);
    void countFrames(quint64 generation, const std::string& localPath, std::stop_token stop);
    void lengthCounted(quint64 generation, std::optional<double> length);
    void report(qint32 newState);
    void refreshFace();
    int measureHandleTravel() const;
    void seek(int sliderValue);
    void tellUser(const QString& text);
    void showStatus();
    QString plainReason(GstMessage* error) const;

    GstElement* playbin_ = nullptr;
    QString source_;
    // Counts the sources given; a message or a length counted for an earlier one is dropped.
    std::atomic<quint64> generation_{0};
    qint32 state_ = kStopped;
    bool autoRewind_ = true;
    double keptPosition_ = 0;  // where a stopped player stands
    std::optional<double> countedLength_;
    bool counting_ = false;
    bool pipelinePlays_ = false;  // GStreamer has reached its playing state
    QThreadPool counter_;
    std::stop_source countStop_;  // ends the count of the source it was made for
    QString statusText_;          // the status line whole, before it is cut to the strip

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

#pragma once

#include <QString>
#include <QThreadPool>

#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "player/playback.h"
#include "player/sound_identity.h"

namespace player {

class AudioPipeline;
struct PipelineEvent;
enum class PipelineError;

// Plays one file at a time through GStreamer, with no widget: it holds the pipeline, counts
// the file's frames beside playback for its exact length, and keeps the play state, the
// position of a stopped file and the volume. It reports a file as on its way (Waiting) from
// the moment it is given, and as Playing once it plays and its length is known.
//
// Requests and the pipeline's reports are handled in one order on the owner's thread. Each
// request sets what is wanted, so the last one wins; a report only tells what the pipeline has
// reached, and the state told is worked out from both, so that it is always what the pipeline
// does once its reports are in.
class PlaybackEngine : public Playback {
    Q_OBJECT

public:
    explicit PlaybackEngine(QObject* parent = nullptr);
    ~PlaybackEngine() override;

    // How sound mixers show the player's sound, from the next file on; by default they name it
    // after the application.
    void setSoundIdentity(const SoundIdentity& identity) { soundIdentity_ = identity; }

    PlayState state() const override { return state_; }
    core::FilePath source() const override { return source_; }
    double length() const override;
    double position() const override;
    double volume() const override { return volume_; }
    QString statusText() const override { return statusText_; }

    void setSource(const core::FilePath& file) override;
    void setAutoRewind(bool on) override { autoRewind_ = on; }
    void play() override;
    void pause() override;
    void pauseOrResume() override;
    void stop() override;
    void seek(double seconds) override;
    void setVolume(double requested) override;

private:
    void start();
    // Closes the file; a player that stays at the end keeps its position and length.
    void close(double keptPosition = 0, std::optional<double> keptLength = {});
    void handleEvent(const PipelineEvent& event);
    void applyPendingSeek();
    void lengthCounted(std::uint64_t count, std::optional<double> length);
    void tellLength();
    void tellState();
    void tellUser(const QString& text);
    QString plainReason(PipelineError error) const;

    std::unique_ptr<AudioPipeline> pipeline_;
    core::FilePath source_;
    // What the last request asked for: Stopped, Paused or Playing.
    PlayState wanted_ = PlayState::Stopped;
    PlayState state_ = PlayState::Stopped;
    bool autoRewind_ = true;
    double volume_ = 1.0;
    double keptPosition_ = 0;  // where a stopped player stands
    // Where the pipeline was last seen to stand, for when it cannot tell; while a file is
    // held, where it was held.
    mutable double lastPosition_ = 0;
    std::optional<double> countedLength_;
    double toldLength_ = 0;
    // A seek asked for before the pipeline could take it, in nanoseconds.
    std::optional<std::int64_t> pendingSeek_;
    bool seekInFlight_ = false;
    bool counting_ = false;
    // Counts the files opened; a length counted for an earlier one is dropped.
    std::uint64_t openCount_ = 0;
    QThreadPool counter_;
    std::stop_source countStop_;  // ends the count of the file it was made for
    QString statusText_;
    SoundIdentity soundIdentity_;
};

}  // namespace player

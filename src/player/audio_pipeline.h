#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "core/file_path.h"
#include "player/sound_identity.h"

typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;
typedef struct _GObject GObject;

namespace player {

// Where the pipeline stands with the open file.
enum class PipelineState {
    Closed,   // no file open
    Ready,    // a file is given, not yet read
    Paused,   // the file is held, its first sound ready to play
    Playing,  // its sound goes to the output
};

// Why a file could not be played.
enum class PipelineError {
    SoundOutput,   // the sound output refused
    FileMissing,   // the file is not there
    NotPermitted,  // the file may not be read
    Unreadable,    // reading the file failed otherwise
    NoDecoder,     // no decoder for what the file holds
    NotAudio,      // the file holds no sound
    Other,         // the media framework failed
};

// What the pipeline tells its receiver of the file it plays.
struct PipelineEvent {
    enum class Kind {
        StateReached,   // it reached `state`, on its way to what was asked or there
        Settled,        // a change of state or a seek is complete
        LengthChanged,  // the length it reports has changed
        EndOfStream,    // the file has played to its end
        Failed,         // the file cannot be played, for `error`
    };
    Kind kind = Kind::Settled;
    PipelineState state = PipelineState::Closed;
    PipelineError error = PipelineError::Other;
};

// A GStreamer pipeline playing one file into the audio output: the one place that builds the
// pipeline, asks it to change state and reads its position. Every error and warning GStreamer
// posts is logged in the category "mp3player.player". The events the player acts on reach
// `receiver`'s thread, unless the file they came from has been closed since.
//
// It makes one change of state at a time. GStreamer takes a request made while an earlier
// change is still under way as part of that change, and when that change was already being
// completed, neither is ever finished: the pipeline stays on its way, silent, and reports
// nothing more. So a request made meanwhile is kept, and made once the pipeline has settled.
class AudioPipeline {
public:
    using EventHandler = std::function<void(const PipelineEvent&)>;

    // Nothing when GStreamer lacks an element the pipeline needs. The pipeline must not outlive
    // `receiver`.
    static std::unique_ptr<AudioPipeline> create(QObject& receiver, EventHandler onEvent,
                                                 const SoundIdentity& identity);
    ~AudioPipeline();
    AudioPipeline(const AudioPipeline&) = delete;
    AudioPipeline& operator=(const AudioPipeline&) = delete;

    // Opens `file` and starts playing it; false when the pipeline refuses at once.
    bool play(const core::FilePath& file);
    // Plays (Playing) or holds (Paused) the open file, now or once the change under way is
    // complete; false when the pipeline refuses at once.
    bool request(PipelineState target);
    // Stops and closes the file before returning; what the file posted on its way is dropped.
    void close();

    // The state the pipeline is in, not the one it is on its way to.
    PipelineState currentState() const;
    // Whether it holds the file ready, with no change of state or seek under way.
    bool isSettled() const;
    // In nanoseconds; nothing while the pipeline cannot tell. While it plays on from where it
    // was last asked, a second at most ago, the position is worked out from the time since.
    std::optional<std::int64_t> position() const;
    std::optional<std::int64_t> duration() const;
    // Flushes and goes to exactly `nanoseconds`; false when the pipeline cannot seek now.
    bool seek(std::int64_t nanoseconds);
    void setVolume(double level);

private:
    AudioPipeline(GstElement* pipeline, GstElement* source, GObject* volumeControl,
                  QObject& receiver, EventHandler onEvent);
    friend struct BusMessages;
    // Takes each message as GStreamer posts it, on the thread that posts it.
    void takeMessage(GstMessage* message);
    // Asks for the target once the pipeline has settled, when it is not there yet.
    bool moveTowardTarget();

    GstElement* pipeline_;
    GstElement* source_;
    GObject* volumeControl_;  // the sink, or the volume element before it
    QObject& receiver_;
    EventHandler onEvent_;
    // What the last request asked for; Closed while no file is open.
    PipelineState target_ = PipelineState::Closed;
    // Counts the files closed; a message posted before the last close is dropped.
    std::atomic<std::uint64_t> generation_{0};
    // Counts the seeks; an end posted before the last seek is dropped, since the seek left it.
    std::atomic<std::uint64_t> seeks_{0};
    // Counts whatever may start, stop or move playback: requests, seeks, closes and the
    // pipeline's own changes of state.
    std::atomic<std::uint64_t> changes_{0};
    struct PositionSeen {
        std::int64_t position = 0;  // nanoseconds into the file
        std::int64_t seenAt = 0;    // nanoseconds on the steady clock
        bool moving = false;        // the pipeline was playing, with no change on its way
        std::uint64_t changes = 0;
    };
    mutable std::optional<PositionSeen> positionSeen_;
    double volume_ = 1.0;
};

}  // namespace player

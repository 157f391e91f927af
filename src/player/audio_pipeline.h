#pragma once

#include <gst/gst.h>

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "core/file_path.h"
#include "player/sound_identity.h"

namespace player {

// A GStreamer pipeline playing one file into the audio output: the one place that builds the
// pipeline, and the one that reads its position. Every error and warning GStreamer posts is
// logged in the category "mp3player.player". The messages the player acts on (errors, the end,
// the pipeline's own state changes and finished state changes) reach `receiver`'s thread,
// unless the file they came from has been closed since.
class AudioPipeline {
public:
    using MessageHandler = std::function<void(GstMessage*)>;

    // Nothing when GStreamer lacks an element the pipeline needs. The pipeline must not outlive
    // `receiver`.
    static std::unique_ptr<AudioPipeline> create(QObject& receiver, MessageHandler onMessage,
                                                 const SoundIdentity& identity);
    ~AudioPipeline();
    AudioPipeline(const AudioPipeline&) = delete;
    AudioPipeline& operator=(const AudioPipeline&) = delete;

    // Opens `file` and starts playing it; false when the pipeline refuses at once.
    bool play(const core::FilePath& file);
    // Asks for `state`, reached now or later; false when it is refused at once.
    bool request(GstState state);
    // Stops and closes the file before returning; what the file posted on its way is dropped.
    void close();

    // The state the pipeline is in, not the one it is on its way to.
    GstState currentState() const;
    bool isPipeline(const GstMessage* message) const;
    // In nanoseconds; nothing while the pipeline cannot tell. While it plays on from where it
    // was last asked, a second at most ago, the position is worked out from the time since.
    std::optional<std::int64_t> position() const;
    std::optional<std::int64_t> duration() const;
    // Flushes and goes to exactly `nanoseconds`; false when the pipeline cannot seek now.
    bool seek(std::int64_t nanoseconds);
    void setVolume(double level);

private:
    AudioPipeline(GstElement* pipeline, GstElement* source, GObject* volumeControl,
                  QObject& receiver, MessageHandler onMessage);
    static GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer self);

    GstElement* pipeline_;
    GstElement* source_;
    GObject* volumeControl_;  // the sink, or the volume element before it
    QObject& receiver_;
    MessageHandler onMessage_;
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

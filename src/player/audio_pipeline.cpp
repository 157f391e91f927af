#include "player/audio_pipeline.h"

#include <gst/audio/streamvolume.h>
#include <gst/gst.h>

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

#include <chrono>

namespace player {

namespace {

Q_LOGGING_CATEGORY(playerLog, "mp3player.player")

// What the sound server holds of the player's sound, and how much of it the player hands over
// at a time, in microseconds: each hand-over wakes the player and the server. A pause or a stop
// silences the stream in the server at once, and the volume is applied there, whatever it holds.
constexpr gint64 kSoundServerBufferUs = 2'000'000;
constexpr gint64 kSoundServerHandOverUs = 1'000'000;
// How much sound a decoder gathers before it passes it on, in nanoseconds: an MP3 frame is 26 ms,
// and each piece passed on costs the same whatever its length.
constexpr gint64 kDecodedPieceNs = 1'000'000'000;
// How long a position asked of the pipeline is worked on from, in nanoseconds. Asking goes
// through every element to the sink and its clock, which cost the 60 ms time display most of
// its CPU; the clock and the steady clock part by far less than a millisecond in this time.
constexpr std::int64_t kPositionTrustedNs = 1'000'000'000;

// The level as the player shows it, on the cubic scale of sound mixers, as the linear factor
// that GStreamer's volume properties take: at half on the slider, the mixers show half too.
double linearVolume(double level) {
    return gst_stream_volume_convert_volume(GST_STREAM_VOLUME_FORMAT_CUBIC,
                                            GST_STREAM_VOLUME_FORMAT_LINEAR, level);
}

std::int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Makes every audio decoder that decodebin plugs in pass its sound on in pieces of
// kDecodedPieceNs.
void gatherDecodedSound(GstBin* /*pipeline*/, GstBin* /*bin*/, GstElement* element,
                        gpointer /*unused*/) {
    // Looked up each time: the type exists only once a decoder has been made.
    const GType audioDecoder = g_type_from_name("GstAudioDecoder");
    if (audioDecoder != 0 && g_type_is_a(G_OBJECT_TYPE(element), audioDecoder)) {
        g_object_set(element, "min-latency", kDecodedPieceNs, nullptr);
    }
}

// A sink from MP3PLAYER_AUDIO_SINK (a gst-launch description such as "fakesink sync=true"),
// so that tests and headless machines can play without a sound card.
GstElement* audioSinkFromEnvironment() {
    const QByteArray description = qgetenv("MP3PLAYER_AUDIO_SINK");
    if (description.isEmpty()) {
        return nullptr;
    }
    GError* error = nullptr;
    GstElement* sink = gst_parse_bin_from_description(description.constData(), TRUE, &error);
    if (error != nullptr) {
        qCWarning(playerLog, "MP3PLAYER_AUDIO_SINK \"%s\" is not usable: %s",
                  description.constData(), error->message);
        g_error_free(error);
    }
    return sink;
}

// A sound server names a stream after the title of what it plays; every title on its way to
// the sink becomes the program's name, so that mixers show the player rather than a song.
GstPadProbeReturn titleStreamAfterProgram(GstPad* /*pad*/, GstPadProbeInfo* info,
                                          gpointer programName) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) == GST_EVENT_TAG) {
        GstTagList* tags = nullptr;
        gst_event_parse_tag(event, &tags);
        GstTagList* title =
            gst_tag_list_new(GST_TAG_TITLE, static_cast<const gchar*>(programName), nullptr);
        gst_tag_list_set_scope(title, gst_tag_list_get_scope(tags));
        GST_PAD_PROBE_INFO_DATA(info) = gst_event_new_tag(title);
        gst_event_unref(event);
    }
    return GST_PAD_PROBE_OK;
}

// The PulseAudio sink (also PipeWire's PulseAudio service), named for the mixers as `identity`
// says and as a player of music, and still floating for the bin that takes it; nothing when no
// such server answers.
GstElement* soundServerSink(const SoundIdentity& identity) {
    GstElement* sink = gst_element_factory_make("pulsesink", nullptr);
    if (sink == nullptr) {
        return nullptr;
    }
    const QByteArray name = identity.name.toUtf8();
    const QByteArray iconName = identity.iconName.toUtf8();
    GstStructure* properties =
        gst_structure_new("properties", "media.role", G_TYPE_STRING, "music", "application.name",
                          G_TYPE_STRING, name.constData(), nullptr);
    if (!iconName.isEmpty()) {
        gst_structure_set(properties, "application.icon_name", G_TYPE_STRING, iconName.constData(),
                          nullptr);
    }
    g_object_set(sink, "client-name", name.constData(), "stream-properties", properties,
                 "buffer-time", kSoundServerBufferUs, "latency-time", kSoundServerHandOverUs,
                 nullptr);
    gst_structure_free(properties);
    if (gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_SUCCESS) {
        gst_element_set_state(sink, GST_STATE_NULL);
        gst_object_unref(gst_object_ref_sink(sink));
        return nullptr;
    }
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &titleStreamAfterProgram,
                      g_strdup(name.constData()), g_free);
    gst_object_unref(pad);
    return sink;
}

// Says what GStreamer reported, whole: the element, the error's domain, code and message, and
// the debug text that names the cause where the message is general ("Internal data stream
// error").
void logProblem(GstMessage* message) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    const bool isError = GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR;
    if (isError) {
        gst_message_parse_error(message, &error, &debug);
    } else {
        gst_message_parse_warning(message, &error, &debug);
    }
    const QString line =
        QStringLiteral("GStreamer %1 from %2: %3 %4: %5 (%6)")
            .arg(QLatin1String(isError ? "error" : "warning"),
                 QString::fromUtf8(GST_MESSAGE_SRC_NAME(message)),
                 QString::fromUtf8(g_quark_to_string(error->domain)), QString::number(error->code),
                 QString::fromUtf8(error->message),
                 debug != nullptr ? QString::fromUtf8(debug) : QStringLiteral("no debug text"));
    if (isError) {
        qCCritical(playerLog).noquote() << line;
    } else {
        qCWarning(playerLog).noquote() << line;
    }
    g_error_free(error);
    g_free(debug);
}

// Links the decoded sound to the elements that carry it to the sink. decodebin offers only
// decoded audio; a second audio stream in the same file is left unheard.
void linkDecodedSound(GstElement* /*decodebin*/, GstPad* pad, gpointer converter) {
    GstPad* converterInput = gst_element_get_static_pad(GST_ELEMENT(converter), "sink");
    if (!gst_pad_is_linked(converterInput)) {
        gst_pad_link(pad, converterInput);
    }
    gst_object_unref(converterInput);
}

// Whether `element` takes a "volume" between 0 and 1 (and up), as the PulseAudio sink does.
bool hasVolume(GstElement* element) {
    return g_object_class_find_property(G_OBJECT_GET_CLASS(element), "volume") != nullptr;
}

GstState gstState(PipelineState state) {
    switch (state) {
        case PipelineState::Closed:
            return GST_STATE_NULL;
        case PipelineState::Ready:
            return GST_STATE_READY;
        case PipelineState::Paused:
            return GST_STATE_PAUSED;
        case PipelineState::Playing:
            break;
    }
    return GST_STATE_PLAYING;
}

PipelineState pipelineState(GstState state) {
    switch (state) {
        case GST_STATE_PLAYING:
            return PipelineState::Playing;
        case GST_STATE_PAUSED:
            return PipelineState::Paused;
        case GST_STATE_READY:
            return PipelineState::Ready;
        default:
            return PipelineState::Closed;
    }
}

// What made playing fail, from the error GStreamer posted.
PipelineError errorOf(GstMessage* message) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    const GQuark domain = error->domain;
    const int code = error->code;
    g_error_free(error);
    GstObject* from = GST_MESSAGE_SRC(message);
    if (GST_IS_ELEMENT(from) && GST_OBJECT_FLAG_IS_SET(from, GST_ELEMENT_FLAG_SINK)) {
        return PipelineError::SoundOutput;
    }
    if (domain == GST_RESOURCE_ERROR) {
        switch (code) {
            case GST_RESOURCE_ERROR_NOT_FOUND:
                return PipelineError::FileMissing;
            case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
                return PipelineError::NotPermitted;
            default:
                return PipelineError::Unreadable;
        }
    }
    if (domain == GST_STREAM_ERROR) {
        return code == GST_STREAM_ERROR_CODEC_NOT_FOUND ? PipelineError::NoDecoder
                                                        : PipelineError::NotAudio;
    }
    return PipelineError::Other;
}

}  // namespace

// Hands GStreamer's messages to the pipeline that owns the bus.
struct BusMessages {
    static GstBusSyncReply take(GstBus* /*bus*/, GstMessage* message, gpointer pipeline) {
        static_cast<AudioPipeline*>(pipeline)->takeMessage(message);
        gst_message_unref(message);
        return GST_BUS_DROP;
    }
};

std::unique_ptr<AudioPipeline> AudioPipeline::create(QObject& receiver, EventHandler onEvent,
                                                     const SoundIdentity& identity) {
    if (!gst_is_initialized()) {
        gst_init(nullptr, nullptr);
    }
    // The file, decodebin for whatever it holds, a conversion to what the sink takes (nothing
    // to do for an MP3 into a sound server), the volume and the sink: only the elements a file
    // of sound needs, with no thread of their own.
    GstElement* source = gst_element_factory_make("filesrc", "source");
    GstElement* decoder = gst_element_factory_make("decodebin", "decodebin");
    GstElement* converter = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resampler = gst_element_factory_make("audioresample", nullptr);
    GstElement* sink = audioSinkFromEnvironment();
    if (sink == nullptr) {
        sink = soundServerSink(identity);
    }
    if (sink == nullptr) {
        sink = gst_element_factory_make("autoaudiosink", nullptr);
    }
    // The sound server applies its own volume to what it already holds: a change is heard at
    // once. Other sinks get the volume applied before them.
    GstElement* volume =
        sink != nullptr && !hasVolume(sink) ? gst_element_factory_make("volume", nullptr) : nullptr;
    const bool complete = source != nullptr && decoder != nullptr && converter != nullptr &&
                          resampler != nullptr && sink != nullptr &&
                          (volume != nullptr || hasVolume(sink));
    if (!complete) {
        for (GstElement* element : {source, decoder, converter, resampler, volume, sink}) {
            if (element != nullptr) {
                gst_object_unref(gst_object_ref_sink(element));
            }
        }
        return nullptr;
    }
    GstElement* pipeline = gst_pipeline_new("player");
    gst_object_ref_sink(pipeline);
    gst_bin_add_many(GST_BIN(pipeline), source, decoder, converter, resampler, sink, nullptr);
    GstElement* beforeSink = resampler;
    if (volume != nullptr) {
        gst_bin_add(GST_BIN(pipeline), volume);
        gst_element_link(resampler, volume);
        beforeSink = volume;
    }
    gst_element_link(source, decoder);
    gst_element_link(converter, resampler);
    gst_element_link(beforeSink, sink);
    GstCaps* decoded = gst_caps_new_empty_simple("audio/x-raw");
    g_object_set(decoder, "caps", decoded, "expose-all-streams", FALSE, nullptr);
    gst_caps_unref(decoded);
    g_signal_connect(decoder, "pad-added", G_CALLBACK(&linkDecodedSound), converter);
    g_signal_connect(pipeline, "deep-element-added", G_CALLBACK(&gatherDecodedSound), nullptr);
    return std::unique_ptr<AudioPipeline>(
        new AudioPipeline(pipeline, source, G_OBJECT(volume != nullptr ? volume : sink), receiver,
                          std::move(onEvent)));
}

AudioPipeline::AudioPipeline(GstElement* pipeline, GstElement* source, GObject* volumeControl,
                             QObject& receiver, EventHandler onEvent)
    : pipeline_(pipeline),
      source_(source),
      volumeControl_(volumeControl),
      receiver_(receiver),
      onEvent_(std::move(onEvent)) {
    // The bus hands the messages on to the receiver's thread at once, so nothing depends on a
    // GLib main loop running.
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, &BusMessages::take, this, nullptr);
    gst_object_unref(bus);
}

AudioPipeline::~AudioPipeline() {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(pipeline_);
}

void AudioPipeline::takeMessage(GstMessage* message) {
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    if (type == GST_MESSAGE_ERROR || type == GST_MESSAGE_WARNING) {
        logProblem(message);
    }
    const bool fromPipeline = GST_MESSAGE_SRC(message) == GST_OBJECT(pipeline_);
    PipelineEvent event;
    switch (type) {
        case GST_MESSAGE_STATE_CHANGED: {
            if (!fromPipeline) {
                return;
            }
            GstState reached = GST_STATE_NULL;
            gst_message_parse_state_changed(message, nullptr, &reached, nullptr);
            event = {.kind = PipelineEvent::Kind::StateReached, .state = pipelineState(reached)};
            break;
        }
        case GST_MESSAGE_ASYNC_DONE:
            if (!fromPipeline) {
                return;
            }
            event.kind = PipelineEvent::Kind::Settled;
            break;
        case GST_MESSAGE_DURATION_CHANGED:
            event.kind = PipelineEvent::Kind::LengthChanged;
            break;
        case GST_MESSAGE_EOS:
            event.kind = PipelineEvent::Kind::EndOfStream;
            break;
        case GST_MESSAGE_ERROR:
            event = {.kind = PipelineEvent::Kind::Failed, .error = errorOf(message)};
            break;
        default:
            return;
    }
    if (event.kind != PipelineEvent::Kind::LengthChanged) {
        ++changes_;
    }
    const std::uint64_t generation = generation_.load();
    const std::uint64_t seeks = seeks_.load();
    QMetaObject::invokeMethod(
        &receiver_,
        [this, event, generation, seeks] {
            const bool leftBehind =
                event.kind == PipelineEvent::Kind::EndOfStream && seeks != seeks_.load();
            if (generation != generation_.load() || leftBehind) {
                return;
            }
            if (event.kind == PipelineEvent::Kind::StateReached ||
                event.kind == PipelineEvent::Kind::Settled) {
                moveTowardTarget();
            }
            onEvent_(event);
        },
        Qt::QueuedConnection);
}

bool AudioPipeline::play(const core::FilePath& file) {
    // The name goes to the file system as its bytes, which need not be UTF-8.
    gchar* absolutePath = g_canonicalize_filename(file.c_str(), nullptr);
    g_object_set(source_, "location", absolutePath, nullptr);
    g_free(absolutePath);
    // The sound server's stream takes the sink's volume when it is made, for each file.
    g_object_set(volumeControl_, "volume", linearVolume(volume_), nullptr);
    if (!request(PipelineState::Playing)) {
        close();
        return false;
    }
    return true;
}

bool AudioPipeline::request(PipelineState target) {
    target_ = target;
    return moveTowardTarget();
}

bool AudioPipeline::moveTowardTarget() {
    if (target_ == PipelineState::Closed) {
        return true;
    }
    GstState current = GST_STATE_NULL;
    const GstStateChangeReturn now = gst_element_get_state(pipeline_, &current, nullptr, 0);
    // On its way: asked again once the change under way is complete. After a failure the
    // pipeline posts an error, which closes it.
    if (now == GST_STATE_CHANGE_ASYNC || now == GST_STATE_CHANGE_FAILURE ||
        current == gstState(target_)) {
        return true;
    }
    ++changes_;
    return gst_element_set_state(pipeline_, gstState(target_)) != GST_STATE_CHANGE_FAILURE;
}

void AudioPipeline::close() {
    target_ = PipelineState::Closed;
    // Returns once the file is closed.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    // Counted after the pipeline is down, so that the state messages its going down posted
    // are dropped with everything else the old file left on its way.
    ++generation_;
    ++changes_;
}

PipelineState AudioPipeline::currentState() const {
    GstState current = GST_STATE_NULL;
    gst_element_get_state(pipeline_, &current, nullptr, 0);
    return pipelineState(current);
}

bool AudioPipeline::isSettled() const {
    GstState current = GST_STATE_NULL;
    const GstStateChangeReturn now = gst_element_get_state(pipeline_, &current, nullptr, 0);
    return now == GST_STATE_CHANGE_SUCCESS && current >= GST_STATE_PAUSED;
}

std::optional<std::int64_t> AudioPipeline::position() const {
    const std::int64_t now = steadyNanoseconds();
    const std::uint64_t changes = changes_.load();
    if (positionSeen_ && positionSeen_->changes == changes &&
        now - positionSeen_->seenAt < kPositionTrustedNs) {
        return positionSeen_->position + (positionSeen_->moving ? now - positionSeen_->seenAt : 0);
    }
    gint64 nanoseconds = 0;
    if (!gst_element_query_position(pipeline_, GST_FORMAT_TIME, &nanoseconds) || nanoseconds < 0) {
        positionSeen_.reset();
        return std::nullopt;
    }
    GstState current = GST_STATE_NULL;
    GstState pending = GST_STATE_NULL;
    gst_element_get_state(pipeline_, &current, &pending, 0);
    positionSeen_ =
        PositionSeen{.position = nanoseconds,
                     .seenAt = now,
                     .moving = current == GST_STATE_PLAYING && pending == GST_STATE_VOID_PENDING,
                     .changes = changes};
    return nanoseconds;
}

std::optional<std::int64_t> AudioPipeline::duration() const {
    gint64 nanoseconds = 0;
    if (gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &nanoseconds) && nanoseconds > 0) {
        return nanoseconds;
    }
    return std::nullopt;
}

bool AudioPipeline::seek(std::int64_t nanoseconds) {
    ++seeks_;
    ++changes_;
    // Accurate: decoded from the frame before and cut at the exact time, rather than starting
    // at the nearest frame the parser can find.
    return gst_element_seek_simple(
        pipeline_, GST_FORMAT_TIME,
        static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), nanoseconds);
}

void AudioPipeline::setVolume(double level) {
    volume_ = level;
    g_object_set(volumeControl_, "volume", linearVolume(level), nullptr);
}

}  // namespace player

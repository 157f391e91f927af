#include "player/gst_media_component.h"

#include <gst/gst.h>
#include <sys/stat.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "browser/local_name.h"
#include "player/mpeg_audio_duration.h"

namespace {

constexpr int kSliderSteps = 1000;
constexpr int kFaceRefreshMs = 250;
constexpr double kNanosecondsPerSecond = 1e9;

// playbin's own flags: decode audio only (a cover picture in a tag opens no video window) and
// set the volume in software.
constexpr guint kPlayAudio = 0x02;
constexpr guint kSoftVolume = 0x10;

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
        qWarning("MP3PLAYER_AUDIO_SINK \"%s\" is not usable: %s", description.constData(),
                 error->message);
        g_error_free(error);
    }
    return sink;
}

QString plainReason(const GError* error) {
    if (error->domain == GST_STREAM_ERROR &&
        (error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND ||
         error->code == GST_STREAM_ERROR_WRONG_TYPE || error->code == GST_STREAM_ERROR_DEMUX ||
         error->code == GST_STREAM_ERROR_DECODE)) {
        return QStringLiteral("not an audio file");
    }
    if (error->domain == GST_STREAM_ERROR && error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND) {
        return QStringLiteral("no decoder for this kind of file");
    }
    return QString::fromUtf8(error->message);
}

// How the strip names the file at `path`.
QString shownFileName(const QString& path) {
    return browser::nameForMessages(path.sliced(path.lastIndexOf(QLatin1Char('/')) + 1));
}

}  // namespace

std::unique_ptr<MediaComponent> createSystemMediaComponent() {
    return std::make_unique<GstMediaComponent>();
}

GstMediaComponent::GstMediaComponent(QWidget* parent) : MediaComponent(parent) {
    counter_.setMaxThreadCount(1);
    createFace();
    connect(volume_, &QSlider::valueChanged, this, [this] { emit volumeChanged(volume()); });
}

bool GstMediaComponent::ensurePlaybin() {
    // Made at the first play, so that starting GStreamer does not hold up the window's start.
    if (playbin_ != nullptr) {
        return true;
    }
    if (!gst_is_initialized()) {
        gst_init(nullptr, nullptr);
    }
    playbin_ = gst_element_factory_make("playbin", "player");
    if (playbin_ == nullptr) {
        return false;
    }
    gst_object_ref_sink(playbin_);
    g_object_set(playbin_, "flags", kPlayAudio | kSoftVolume, "volume", volume_->value() / 100.0,
                 nullptr);
    if (GstElement* sink = audioSinkFromEnvironment()) {
        g_object_set(playbin_, "audio-sink", sink, nullptr);
    }
    // The bus hands the messages the strip acts on to the window's thread at once, so nothing
    // depends on a GLib main loop running.
    GstBus* bus = gst_element_get_bus(playbin_);
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* message, gpointer self) {
            auto* component = static_cast<GstMediaComponent*>(self);
            const GstMessageType type = GST_MESSAGE_TYPE(message);
            const bool actedOn = type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR ||
                                 (type == GST_MESSAGE_STATE_CHANGED &&
                                  GST_MESSAGE_SRC(message) == GST_OBJECT(component->playbin_));
            if (!actedOn) {
                return GST_BUS_DROP;
            }
            const quint64 generation = component->generation_.load();
            gst_message_ref(message);
            QMetaObject::invokeMethod(
                component,
                [component, message, generation] {
                    if (generation == component->generation_.load()) {
                        component->handleMessage(message);
                    }
                    gst_message_unref(message);
                },
                Qt::QueuedConnection);
            return GST_BUS_DROP;
        },
        this, nullptr);
    gst_object_unref(bus);
    return true;
}

GstMediaComponent::~GstMediaComponent() {
    if (playbin_ != nullptr) {
        gst_element_set_state(playbin_, GST_STATE_NULL);
        GstBus* bus = gst_element_get_bus(playbin_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(playbin_);
    }
    counter_.waitForDone();
}

void GstMediaComponent::createFace() {
    playIcon_ = style()->standardIcon(QStyle::SP_MediaPlay);
    pauseIcon_ = style()->standardIcon(QStyle::SP_MediaPause);
    playPause_ = new QToolButton(this);
    playPause_->setIcon(playIcon_);
    playPause_->setAccessibleName(tr("Play or pause"));
    stopButton_ = new QToolButton(this);
    stopButton_->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    stopButton_->setAccessibleName(tr("Stop"));
    position_ = new QSlider(Qt::Horizontal, this);
    position_->setRange(0, kSliderSteps);
    position_->setAccessibleName(tr("Position"));
    volume_ = new QSlider(Qt::Horizontal, this);
    volume_->setRange(0, 100);
    volume_->setValue(100);
    volume_->setMaximumWidth(80);
    volume_->setAccessibleName(tr("Volume"));
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    // The strip lies on the window's dark background.
    QPalette statusColours = status_->palette();
    statusColours.setColor(QPalette::WindowText, QColor(192, 192, 192));
    status_->setPalette(statusColours);

    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(0, 0, 0, 0);
    controls->setSpacing(4);
    controls->addWidget(playPause_);
    controls->addWidget(stopButton_);
    controls->addWidget(position_, 1);
    controls->addWidget(volume_);
    auto* strip = new QVBoxLayout(this);
    strip->setContentsMargins(2, 0, 2, 0);
    strip->setSpacing(0);
    strip->addLayout(controls);
    strip->addWidget(status_);
    for (QWidget* part :
         std::initializer_list<QWidget*>{playPause_, stopButton_, position_, volume_}) {
        part->setMaximumHeight(22);
    }

    faceRefresh_ = new QTimer(this);
    faceRefresh_->setInterval(kFaceRefreshMs);
    connect(faceRefresh_, &QTimer::timeout, this, &GstMediaComponent::refreshFace);
    connect(playPause_, &QToolButton::clicked, this, &GstMediaComponent::togglePause);
    connect(stopButton_, &QToolButton::clicked, this, [this] { stop(0); });
    connect(position_, &QSlider::sliderReleased, this, [this] { seek(position_->value()); });
    connect(position_, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove) {
            seek(position_->sliderPosition());
        }
    });
    connect(volume_, &QSlider::valueChanged, this, [this](int percent) {
        if (playbin_ != nullptr) {
            g_object_set(playbin_, "volume", percent / 100.0, nullptr);
        }
    });
}

void GstMediaComponent::setSourceFile(const QString& path) {
    source_ = path;
    stop(0);
    if (path.isEmpty()) {
        tellUser(QString());
        return;
    }
    start();
}

void GstMediaComponent::start() {
    // The file is looked at and opened by its bytes, which may not be UTF-8.
    const QByteArray pathBytes = browser::localBytes(source_);
    const QString name = shownFileName(source_);
    QString problem;
    struct stat status {};
    if (::stat(pathBytes.constData(), &status) != 0) {
        problem = tr("the file does not exist");
    } else if (S_ISDIR(status.st_mode)) {
        problem = tr("it is a folder");
    } else if (!S_ISREG(status.st_mode)) {
        problem = tr("it is not a regular file");
    }
    if (problem.isEmpty() && !ensurePlaybin()) {
        problem = tr("GStreamer's playbin is missing");
    }
    if (!problem.isEmpty()) {
        tellUser(tr("Cannot play %1: %2")
                     .arg(name.isEmpty() ? browser::nameForMessages(source_) : name, problem));
        return;
    }
    gchar* absolutePath = g_canonicalize_filename(pathBytes.constData(), nullptr);
    gchar* uri = g_filename_to_uri(absolutePath, nullptr, nullptr);
    g_object_set(playbin_, "uri", uri, nullptr);
    g_free(uri);
    g_free(absolutePath);
    if (gst_element_set_state(playbin_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(playbin_, GST_STATE_NULL);
        tellUser(tr("Cannot play %1").arg(name));
        return;
    }
    tellUser(tr("Opening %1").arg(name));
    // The frames are counted beside playback, which starts at once; the playing state is told
    // once the length is known, so the length shown with it is the counted one.
    counting_ = true;
    const quint64 generation = generation_.load();
    const std::string localPath = pathBytes.toStdString();
    counter_.start([this, generation, localPath] { countFrames(generation, localPath); });
}

void GstMediaComponent::countFrames(quint64 generation, const std::string& localPath) {
    std::optional<double> length;
    if (generation == generation_.load()) {
        length = player::mpegAudioFileDuration(localPath);
    }
    QMetaObject::invokeMethod(
        this, [this, generation, length] { lengthCounted(generation, length); },
        Qt::QueuedConnection);
}

void GstMediaComponent::lengthCounted(quint64 generation, std::optional<double> length) {
    if (generation != generation_.load()) {
        return;
    }
    countedLength_ = length;
    counting_ = false;
    if (playingUntold_) {
        playingUntold_ = false;
        report(kPlaying);
    }
}

void GstMediaComponent::stop(double keptPosition) {
    if (playbin_ != nullptr) {
        // Returns once the file is closed.
        gst_element_set_state(playbin_, GST_STATE_NULL);
    }
    // Counted after the pipeline is down, so that the state messages its going down posted
    // are dropped with everything else the old source left on its way.
    ++generation_;
    keptPosition_ = keptPosition;
    counting_ = false;
    playingUntold_ = false;
    if (keptPosition == 0) {
        countedLength_.reset();
    }
    report(kStopped);
}

void GstMediaComponent::togglePause() {
    if (state_ == kPlaying) {
        gst_element_set_state(playbin_, GST_STATE_PAUSED);
    } else if (state_ == kPaused) {
        gst_element_set_state(playbin_, GST_STATE_PLAYING);
    } else if (!source_.isEmpty()) {
        stop(0);
        start();
    }
}

void GstMediaComponent::handleMessage(GstMessage* message) {
    const QString name = shownFileName(source_);
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_STATE_CHANGED: {
            GstState oldState = GST_STATE_NULL;
            GstState newState = GST_STATE_NULL;
            gst_message_parse_state_changed(message, &oldState, &newState, nullptr);
            if (newState == GST_STATE_PLAYING) {
                tellUser(tr("Playing %1").arg(name));
                if (counting_) {
                    playingUntold_ = true;
                } else {
                    report(kPlaying);
                }
            } else if (newState == GST_STATE_PAUSED && oldState == GST_STATE_PLAYING) {
                tellUser(tr("Paused %1").arg(name));
                playingUntold_ = false;
                report(kPaused);
            }
            return;
        }
        case GST_MESSAGE_EOS: {
            // Without rewinding, the player stays at the end with the length still known.
            const double end = duration();
            if (!autoRewind_) {
                countedLength_ = end;
            }
            stop(autoRewind_ ? 0 : end);
            tellUser(tr("Finished %1").arg(name));
            return;
        }
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            const QString reason = plainReason(error);
            g_error_free(error);
            stop(0);
            tellUser(tr("Cannot play %1: %2").arg(name, reason));
            return;
        }
        default:
            return;
    }
}

double GstMediaComponent::duration() const {
    if (countedLength_) {
        return *countedLength_;
    }
    gint64 nanoseconds = 0;
    if (state_ != kStopped && gst_element_query_duration(playbin_, GST_FORMAT_TIME, &nanoseconds)) {
        return static_cast<double>(nanoseconds) / kNanosecondsPerSecond;
    }
    return 0;
}

double GstMediaComponent::currentPosition() const {
    gint64 nanoseconds = 0;
    if (state_ != kStopped && gst_element_query_position(playbin_, GST_FORMAT_TIME, &nanoseconds)) {
        return static_cast<double>(nanoseconds) / kNanosecondsPerSecond;
    }
    return keptPosition_;
}

void GstMediaComponent::report(qint32 newState) {
    const qint32 oldState = state_;
    if (newState == oldState) {
        return;
    }
    state_ = newState;
    playPause_->setIcon(
        style()->standardIcon(newState == kPlaying ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    if (newState == kStopped) {
        faceRefresh_->stop();
    } else {
        faceRefresh_->start();
    }
    refreshFace();
    emit playStateChanged(oldState, newState);
}

void GstMediaComponent::refreshFace() {
    if (position_->isSliderDown() || !isVisible()) {
        return;
    }
    const double length = duration();
    const double fraction = length > 0 ? currentPosition() / length : 0;
    position_->setValue(static_cast<int>(fraction * kSliderSteps));
}

void GstMediaComponent::seek(int sliderValue) {
    const double length = duration();
    if (state_ == kStopped || length <= 0) {
        refreshFace();
        return;
    }
    const double seconds = length * sliderValue / kSliderSteps;
    gst_element_seek_simple(playbin_, GST_FORMAT_TIME,
                            static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT),
                            static_cast<gint64>(seconds * kNanosecondsPerSecond));
}

void GstMediaComponent::tellUser(const QString& text) {
    status_->setText(text);
}

// The strip's controls, for callers outside the window.

void GstMediaComponent::pauseOrResume() {
    togglePause();
}

void GstMediaComponent::stopPlayback() {
    stop(0);
}

void GstMediaComponent::seekTo(double seconds) {
    const double length = duration();
    if (length > 0) {
        seek(qRound(std::clamp(seconds / length, 0.0, 1.0) * kSliderSteps));
    }
}

double GstMediaComponent::volume() const {
    return volume_->value() / 100.0;
}

void GstMediaComponent::setVolume(double level) {
    volume_->setValue(qRound(std::clamp(level, 0.0, 1.0) * 100));
}

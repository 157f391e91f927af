#include "player/gst_media_component.h"

#include <fcntl.h>
#include <gst/gst.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "browser/local_name.h"
#include "player/mpeg_audio_duration.h"
#include "player/slider_jump_style.h"
#include "player/spoken_value.h"

namespace {

constexpr int kSliderSteps = 1000;
// How often the position slider looks at playback. Each look wakes the program, asks GStreamer
// for the position and, when the handle has moved, repaints the slider: about a tenth of the CPU
// that GStreamer spends on a second of audio. Once a second keeps the handle in step with the
// elapsed seconds for that tenth.
constexpr int kFaceRefreshMs = 1000;
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

// A message the window's thread acts on, released with the last copy of the call that carries
// it, also when the component is gone before that call runs.
using HeldMessage = std::shared_ptr<GstMessage>;

// Why the file cannot be opened, in the system's words ("permission denied").
QString whyUnreadable(const QString& path) {
    const int fd = ::open(browser::localBytes(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return QStringLiteral("it cannot be read");
    }
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    return reason.left(1).toLower() + reason.mid(1);
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
            // A handler that drops a message owns it: each one is released here or by the
            // call that carries it.
            HeldMessage held(message, gst_message_unref);
            auto* component = static_cast<GstMediaComponent*>(self);
            const GstMessageType type = GST_MESSAGE_TYPE(message);
            const bool actedOn = type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR ||
                                 (type == GST_MESSAGE_STATE_CHANGED &&
                                  GST_MESSAGE_SRC(message) == GST_OBJECT(component->playbin_));
            if (actedOn) {
                const quint64 generation = component->generation_.load();
                QMetaObject::invokeMethod(
                    component,
                    [component, held, generation] {
                        if (generation == component->generation_.load()) {
                            component->handleMessage(held.get());
                        }
                    },
                    Qt::QueuedConnection);
            }
            return GST_BUS_DROP;
        },
        this, nullptr);
    gst_object_unref(bus);
    return true;
}

GstMediaComponent::~GstMediaComponent() {
    countStop_.request_stop();
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
    player::speakValueAs(position_, [this] {
        return player::SpokenValue::playPosition(currentPosition(), duration());
    });
    position_->setRange(0, kSliderSteps);
    position_->setAccessibleName(tr("Position"));
    position_->installEventFilter(this);
    volume_ = new QSlider(Qt::Horizontal, this);
    player::speakValueAs(volume_,
                         [this] { return player::SpokenValue::percent(volume_->value()); });
    volume_->setRange(0, 100);
    volume_->setValue(100);
    volume_->setMaximumWidth(80);
    volume_->setAccessibleName(tr("Volume"));
    // A click on either slider puts it where the click lands.
    auto* jumpStyle = new SliderJumpStyle;
    jumpStyle->setParent(this);
    position_->setStyle(jumpStyle);
    volume_->setStyle(jumpStyle);
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    // A long line is cut to the strip's width rather than widening the strip.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    status_->installEventFilter(this);
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
    connect(playPause_, &QToolButton::clicked, this, &GstMediaComponent::pauseOrResume);
    connect(stopButton_, &QToolButton::clicked, this, &GstMediaComponent::stopPlayback);
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
    const bool wasOpen = state_ != kStopped;
    const QString previous = shownFileName(source_);
    source_ = path;
    stop(0);
    if (!path.isEmpty()) {
        start();
    } else if (wasOpen) {
        tellUser(tr("Stopped %1").arg(previous));
    } else {
        tellUser(tr("Nothing to play: choose a file in the list first."));
    }
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
    // playbin forgets its volume when it goes down; the slider keeps it.
    g_object_set(playbin_, "volume", volume_->value() / 100.0, nullptr);
    if (gst_element_set_state(playbin_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(playbin_, GST_STATE_NULL);
        tellUser(tr("Cannot play %1").arg(name));
        return;
    }
    tellUser(tr("Opening %1").arg(name));
    // The frames are counted beside playback, which starts at once. A file plays from here
    // on, so that is told now; kPlaying follows once the length is known, so that the length
    // told with it is the counted one.
    counting_ = true;
    countStop_ = std::stop_source();
    const quint64 generation = generation_.load();
    const std::string localPath = pathBytes.toStdString();
    counter_.start([this, generation, localPath, stop = countStop_.get_token()] {
        countFrames(generation, localPath, stop);
    });
    report(kWaiting);
}

void GstMediaComponent::countFrames(quint64 generation, const std::string& localPath,
                                    std::stop_token stop) {
    const std::optional<double> length = player::mpegAudioFileDuration(localPath, stop);
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
    if (state_ == kWaiting && pipelinePlays_) {
        report(kPlaying);
    }
}

void GstMediaComponent::stop(double keptPosition) {
    countStop_.request_stop();
    if (playbin_ != nullptr) {
        // Returns once the file is closed.
        gst_element_set_state(playbin_, GST_STATE_NULL);
    }
    // Counted after the pipeline is down, so that the state messages its going down posted
    // are dropped with everything else the old source left on its way.
    ++generation_;
    keptPosition_ = keptPosition;
    counting_ = false;
    pipelinePlays_ = false;
    if (keptPosition == 0) {
        countedLength_.reset();
    }
    report(kStopped);
}

void GstMediaComponent::pauseOrResume() {
    if (state_ == kPlaying || state_ == kWaiting) {
        // Told at once: a pipeline still on its way to playing posts no change to paused.
        if (gst_element_set_state(playbin_, GST_STATE_PAUSED) != GST_STATE_CHANGE_FAILURE) {
            pipelinePlays_ = false;
            tellUser(tr("Paused %1").arg(shownFileName(source_)));
            report(kPaused);
        }
    } else if (state_ == kPaused) {
        gst_element_set_state(playbin_, GST_STATE_PLAYING);
    } else if (source_.isEmpty()) {
        setSourceFile(QString());  // says what to do
    } else {
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
                pipelinePlays_ = true;
                tellUser(tr("Playing %1").arg(name));
                report(counting_ ? kWaiting : kPlaying);
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
            const QString reason = plainReason(message);
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
    const bool plays = newState == kPlaying || newState == kWaiting;
    playPause_->setIcon(plays ? pauseIcon_ : playIcon_);
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
    const int value = static_cast<int>(fraction * kSliderSteps);
    // A new value repaints the slider, the larger part of a refresh's cost; one that leaves the
    // handle on its pixel (a long file, a pause) would show nothing new.
    if (QStyle::sliderPositionFromValue(0, kSliderSteps, value, handleTravel_) !=
        QStyle::sliderPositionFromValue(0, kSliderSteps, position_->value(), handleTravel_)) {
        position_->setValue(value);
    }
}

int GstMediaComponent::measureHandleTravel() const {
    QStyleOptionSlider option;
    option.initFrom(position_);
    option.orientation = Qt::Horizontal;
    option.minimum = 0;
    option.maximum = kSliderSteps;
    QStyle* style = position_->style();
    const QRect groove =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, position_);
    const QRect handle =
        style->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, position_);
    return groove.width() - handle.width();
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
    statusText_ = text;
    showStatus();
}

void GstMediaComponent::showStatus() {
    // Cut only once the line has its place on screen; until then it has no width to fit.
    const int width = status_->isVisible() ? status_->width() : QWIDGETSIZE_MAX;
    const QString shown = status_->fontMetrics().elidedText(statusText_, Qt::ElideMiddle, width);
    status_->setText(shown);
    status_->setToolTip(shown == statusText_ ? QString() : statusText_);
}

bool GstMediaComponent::eventFilter(QObject* watched, QEvent* event) {
    if (watched == status_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        showStatus();
    }
    if (watched == position_ && event->type() == QEvent::Resize) {
        handleTravel_ = measureHandleTravel();
    }
    return MediaComponent::eventFilter(watched, event);
}

QString GstMediaComponent::plainReason(GstMessage* message) const {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    const GQuark domain = error->domain;
    const int code = error->code;
    g_error_free(error);
    GstObject* from = GST_MESSAGE_SRC(message);
    if (GST_IS_ELEMENT(from) && GST_OBJECT_FLAG_IS_SET(from, GST_ELEMENT_FLAG_SINK)) {
        return tr("the sound output cannot be used");
    }
    if (domain == GST_RESOURCE_ERROR) {
        if (code == GST_RESOURCE_ERROR_NOT_FOUND) {
            return tr("the file does not exist");
        }
        if (code == GST_RESOURCE_ERROR_NOT_AUTHORIZED) {
            return tr("permission denied");
        }
        return whyUnreadable(source_);
    }
    if (domain == GST_STREAM_ERROR && code == GST_STREAM_ERROR_CODEC_NOT_FOUND) {
        return tr("no decoder for this kind of file");
    }
    if (domain == GST_STREAM_ERROR) {
        return tr("not an audio file");
    }
    return tr("the media framework failed");
}

// The strip's controls, for callers outside the window.

void GstMediaComponent::stopPlayback() {
    const bool wasOpen = state_ != kStopped;
    stop(0);
    if (wasOpen) {
        tellUser(tr("Stopped %1").arg(shownFileName(source_)));
    }
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

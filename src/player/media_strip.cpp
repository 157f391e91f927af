#include "player/media_strip.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "player/slider_jump_style.h"
#include "player/spoken_value.h"

namespace {

constexpr int kSliderSteps = 1000;
constexpr int kVolumeSteps = 100;
// How often the position slider looks at playback. Each look wakes the program, asks GStreamer
// for the position and, when the handle has moved, repaints the slider: about a tenth of the CPU
// that GStreamer spends on a second of audio. Once a second keeps the handle in step with the
// elapsed seconds for that tenth.
constexpr int kFaceRefreshMs = 1000;

}  // namespace

MediaStrip::MediaStrip(player::Playback& playback, QWidget* parent)
    : MediaComponent(parent), playback_(playback), statusText_(playback.statusText()) {
    createFace();
    followPlayback();
}

void MediaStrip::createFace() {
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
        return player::SpokenValue::playPosition(playback_.position(), playback_.length());
    });
    position_->setRange(0, kSliderSteps);
    position_->setAccessibleName(tr("Position"));
    position_->installEventFilter(this);
    volume_ = new QSlider(Qt::Horizontal, this);
    player::speakValueAs(volume_,
                         [this] { return player::SpokenValue::percent(volume_->value()); });
    volume_->setRange(0, kVolumeSteps);
    volume_->setValue(qRound(playback_.volume() * kVolumeSteps));
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
    connect(faceRefresh_, &QTimer::timeout, this, &MediaStrip::refreshFace);
}

void MediaStrip::followPlayback() {
    connect(&playback_, &player::Playback::stateChanged, this, &MediaStrip::followState);
    connect(&playback_, &player::Playback::seeked, this, &MediaStrip::refreshFace);
    connect(&playback_, &player::Playback::statusTextChanged, this, &MediaStrip::tellUser);
    connect(&playback_, &player::Playback::volumeChanged, this, [this](double level) {
        // Only a move by the user is a request to the playback.
        const QSignalBlocker quiet(volume_);
        volume_->setValue(qRound(level * kVolumeSteps));
    });

    connect(playPause_, &QToolButton::clicked, this, &MediaStrip::playOrPause);
    connect(stopButton_, &QToolButton::clicked, &playback_, &player::Playback::stop);
    connect(position_, &QSlider::sliderReleased, this, [this] { seek(position_->value()); });
    connect(position_, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove) {
            seek(position_->sliderPosition());
        }
    });
    connect(volume_, &QSlider::valueChanged, this, [this](int percent) {
        playback_.setVolume(static_cast<double>(percent) / kVolumeSteps);
    });
}

void MediaStrip::setSourceFile(const core::FilePath& path) {
    if (path.isEmpty() && playback_.state() == PlayState::Stopped) {
        tellUser(tr("Nothing to play: choose a file in the list first."));
    }
    playback_.setSource(path);
}

void MediaStrip::playOrPause() {
    if (playback_.state() == PlayState::Stopped && playback_.source().isEmpty()) {
        setSourceFile({});  // says what to do
    } else {
        playback_.pauseOrResume();
    }
}

void MediaStrip::followState(PlayState oldState, PlayState newState) {
    const bool plays = newState == PlayState::Playing || newState == PlayState::Waiting;
    playPause_->setIcon(plays ? pauseIcon_ : playIcon_);
    if (newState == PlayState::Stopped) {
        faceRefresh_->stop();
    } else {
        faceRefresh_->start();
    }
    refreshFace();
    emit playStateChanged(static_cast<qint32>(oldState), static_cast<qint32>(newState));
}

void MediaStrip::refreshFace() {
    if (position_->isSliderDown() || !isVisible()) {
        return;
    }
    const double length = playback_.length();
    const double fraction = length > 0 ? playback_.position() / length : 0;
    const int value = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kSliderSteps);
    // A new value repaints the slider, the larger part of a refresh's cost; one that leaves the
    // handle on its pixel (a long file, a pause) would show nothing new.
    if (QStyle::sliderPositionFromValue(0, kSliderSteps, value, handleTravel_) !=
        QStyle::sliderPositionFromValue(0, kSliderSteps, position_->value(), handleTravel_)) {
        position_->setValue(value);
    }
}

int MediaStrip::measureHandleTravel() const {
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

void MediaStrip::seek(int sliderValue) {
    const double length = playback_.length();
    if (playback_.state() == PlayState::Stopped || length <= 0) {
        refreshFace();
        return;
    }
    playback_.seek(length * sliderValue / kSliderSteps);
}

void MediaStrip::tellUser(const QString& text) {
    statusText_ = text;
    showStatus();
}

void MediaStrip::showStatus() {
    // Cut only once the line has its place on screen; until then it has no width to fit.
    const int width = status_->isVisible() ? status_->width() : QWIDGETSIZE_MAX;
    const QString shown = status_->fontMetrics().elidedText(statusText_, Qt::ElideMiddle, width);
    status_->setText(shown);
    status_->setToolTip(shown == statusText_ ? QString() : statusText_);
}

bool MediaStrip::eventFilter(QObject* watched, QEvent* event) {
    if (watched == status_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show)) {
        showStatus();
    }
    if (watched == position_ && event->type() == QEvent::Resize) {
        handleTravel_ = measureHandleTravel();
    }
    return MediaComponent::eventFilter(watched, event);
}

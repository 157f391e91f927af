#include "app/mpris_player.h"

#include <QDBusMessage>

#include <cmath>

#include "app/form1.h"
#include "browser/local_name.h"
#include "player/media_component.h"

namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
constexpr double kMicrosecondsPerSecond = 1e6;

// Every state but stopped and paused has the file on its way or playing: the desktop shows a
// file that is still opening as playing, as the window does.
QString statusOf(qint32 state) {
    switch (state) {
        case MediaComponent::kStopped:
            return QStringLiteral("Stopped");
        case MediaComponent::kPaused:
            return QStringLiteral("Paused");
        default:
            return QStringLiteral("Playing");
    }
}

// The path's own bytes, percent-encoded where a URI needs it, so that a name that is not
// UTF-8 still names its file.
QString fileUri(const core::FilePath& path) {
    return QStringLiteral("file://") + QString::fromLatin1(path.bytes().toPercentEncoding("/"));
}

qlonglong microseconds(double seconds) {
    return std::llround(seconds * kMicrosecondsPerSecond);
}

}  // namespace

MprisPlayer::MprisPlayer(Form1& window, const QDBusConnection& bus)
    : QDBusAbstractAdaptor(&window),
      window_(window),
      media_(window.mediaPlayer()),
      bus_(bus),
      state_(MediaComponent::kStopped) {
    connect(&media_, &MediaComponent::playStateChanged, this, &MprisPlayer::playStateChanged);
    connect(&media_, &MediaComponent::volumeChanged, this, [this](double level) {
        tellChanged({{QStringLiteral("Volume"), level}});
    });
}

QString MprisPlayer::playbackStatus() const {
    return statusOf(state_);
}

QDBusObjectPath MprisPlayer::trackId() const {
    return QDBusObjectPath(QStringLiteral("/mp3player/track/%1").arg(trackCount_));
}

QVariantMap MprisPlayer::metadata() const {
    if (state_ == MediaComponent::kStopped) {
        return {};
    }
    QVariantMap data{
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId())},
        {QStringLiteral("xesam:url"), fileUri(media_.sourceFile())},
        {QStringLiteral("xesam:title"), track_.title},
    };
    if (!track_.artist.isEmpty()) {
        data.insert(QStringLiteral("xesam:artist"), QStringList{track_.artist});
    }
    if (!track_.album.isEmpty()) {
        data.insert(QStringLiteral("xesam:album"), track_.album);
    }
    if (const double length = media_.duration(); length > 0) {
        data.insert(QStringLiteral("mpris:length"), microseconds(length));
    }
    return data;
}

double MprisPlayer::volume() const {
    return media_.volume();
}

void MprisPlayer::setVolume(double level) {
    media_.setVolume(level);
}

qlonglong MprisPlayer::position() const {
    return microseconds(media_.currentPosition());
}

void MprisPlayer::Play() {
    if (state_ == MediaComponent::kPaused) {
        media_.pauseOrResume();
    } else if (state_ == MediaComponent::kStopped) {
        window_.playChosenFile();
    }
}

void MprisPlayer::Pause() {
    if (state_ != MediaComponent::kStopped && state_ != MediaComponent::kPaused) {
        media_.pauseOrResume();
    }
}

void MprisPlayer::PlayPause() {
    if (state_ == MediaComponent::kStopped) {
        window_.playChosenFile();
    } else {
        media_.pauseOrResume();
    }
}

void MprisPlayer::Stop() {
    if (state_ != MediaComponent::kStopped) {
        media_.stopPlayback();
    }
}

void MprisPlayer::Seek(qlonglong offset) {
    if (state_ == MediaComponent::kStopped) {
        return;
    }
    // Past the end there is no next file to go on with, so such a seek does nothing.
    const qlonglong target = std::max(0LL, position() + offset);
    if (target <= microseconds(media_.duration())) {
        seekToMicroseconds(target);
    }
}

void MprisPlayer::SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
    if (state_ != MediaComponent::kStopped && trackId == this->trackId() && position >= 0 &&
        position <= microseconds(media_.duration())) {
        seekToMicroseconds(position);
    }
}

void MprisPlayer::seekToMicroseconds(qlonglong position) {
    media_.seekTo(static_cast<double>(position) / kMicrosecondsPerSecond);
    emit Seeked(position);
}

void MprisPlayer::playStateChanged(qint32 /*oldState*/, qint32 newState) {
    const QString oldStatus = playbackStatus();
    const QVariantMap oldMetadata = metadata();
    if (state_ == MediaComponent::kStopped && newState != MediaComponent::kStopped) {
        ++trackCount_;
        track_ = tag::describeTrack(browser::fromLocalBytes(media_.sourceFile().bytes()));
    }
    state_ = newState;
    QVariantMap changed;
    if (playbackStatus() != oldStatus) {
        changed.insert(QStringLiteral("PlaybackStatus"), playbackStatus());
    }
    if (const QVariantMap now = metadata(); now != oldMetadata) {
        changed.insert(QStringLiteral("Metadata"), now);
    }
    tellChanged(changed);
}

void MprisPlayer::tellChanged(const QVariantMap& changed) {
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kInterface << changed << QStringList();
    bus_.send(signal);
}

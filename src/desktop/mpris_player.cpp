#include "desktop/mpris_player.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QUrl>
#include <QtNumeric>

#include <cmath>
#include <limits>

#include "player/requested_level.h"

namespace desktop {

namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
constexpr double kMicrosecondsPerSecond = 1e6;
// Close to the longest time a signed 64-bit count of microseconds holds.
constexpr double kLongestSeconds = 9.2e12;

// Every state but stopped and paused has the file on its way or playing: the desktop shows a
// file that is still opening as playing, as the window does.
QString statusOf(player::Playback::PlayState state) {
    switch (state) {
        case player::Playback::PlayState::Stopped:
            return QStringLiteral("Stopped");
        case player::Playback::PlayState::Paused:
            return QStringLiteral("Paused");
        default:
            return QStringLiteral("Playing");
    }
}

qlonglong microseconds(double seconds) {
    if (!(seconds > 0)) {
        return 0;
    }
    return std::llround(std::min(seconds, kLongestSeconds) * kMicrosecondsPerSecond);
}

double seconds(qlonglong microseconds) {
    return static_cast<double>(microseconds) / kMicrosecondsPerSecond;
}

}  // namespace

MprisPlayer::MprisPlayer(MprisService& service, player::Playback& playback,
                         const QDBusConnection& bus)
    : QDBusAbstractAdaptor(&service),
      service_(service),
      playback_(playback),
      bus_(bus),
      toldStatus_(playbackStatus()) {
    connect(&playback_, &player::Playback::stateChanged, this, &MprisPlayer::stateChanged);
    connect(&playback_, &player::Playback::lengthChanged, this, &MprisPlayer::tellChanges);
    connect(&playback_, &player::Playback::seeked, this,
            [this](double reached) { emit Seeked(microseconds(reached)); });
    connect(&playback_, &player::Playback::volumeChanged, this, [this](double level) {
        tellChanged({{QStringLiteral("Volume"), level}});
    });
    connect(&service_, &MprisService::filesBesideChanged, this, [this] {
        tellChanged({{QStringLiteral("CanGoNext"), canGoNext()},
                     {QStringLiteral("CanGoPrevious"), canGoPrevious()}});
    });
}

QString MprisPlayer::playbackStatus() const {
    return statusOf(playback_.state());
}

QDBusObjectPath MprisPlayer::trackId() const {
    return QDBusObjectPath(QStringLiteral("/mp3player/track/%1").arg(trackCount_));
}

qlonglong MprisPlayer::length() const {
    return microseconds(playback_.length());
}

QVariantMap MprisPlayer::metadata() const {
    if (playback_.state() == PlayState::Stopped) {
        return {};
    }
    QVariantMap data{
        {QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId())},
        {QStringLiteral("xesam:url"), playback_.source().fileUri()},
        {QStringLiteral("xesam:title"), track_.title},
    };
    if (!track_.artist.isEmpty()) {
        data.insert(QStringLiteral("xesam:artist"), QStringList{track_.artist});
    }
    if (!track_.album.isEmpty()) {
        data.insert(QStringLiteral("xesam:album"), track_.album);
    }
    if (const qlonglong known = length(); known > 0) {
        data.insert(QStringLiteral("mpris:length"), known);
    }
    if (!coverUrl_.isEmpty()) {
        data.insert(QStringLiteral("mpris:artUrl"), coverUrl_);
    }
    return data;
}

void MprisPlayer::setVolume(double level) {
    if (player::requestedFraction(level, 1.0)) {
        playback_.setVolume(level);
    }
}

qlonglong MprisPlayer::position() const {
    return microseconds(playback_.position());
}

void MprisPlayer::Next() {
    emit service_.playFileBesideRequested(1);
}

void MprisPlayer::Previous() {
    emit service_.playFileBesideRequested(-1);
}

void MprisPlayer::OpenUri(const QString& uri, const QDBusMessage& message) {
    const core::FilePath file = core::FilePath::fromFileUrl(QUrl(uri));
    if (file.isEmpty()) {
        message.setDelayedReply(true);
        bus_.send(message.createErrorReply(QDBusError::NotSupported,
                                           QStringLiteral("Only file:// URIs are opened")));
        return;
    }
    emit service_.playFileRequested(file);
}

void MprisPlayer::Play() {
    if (playback_.state() == PlayState::Stopped) {
        emit service_.playChosenFileRequested();
    } else {
        playback_.play();
    }
}

void MprisPlayer::PlayPause() {
    if (playback_.state() == PlayState::Stopped) {
        emit service_.playChosenFileRequested();
    } else {
        playback_.pauseOrResume();
    }
}

void MprisPlayer::Stop() {
    if (playback_.state() != PlayState::Stopped) {
        playback_.stop();
    }
}

void MprisPlayer::Seek(qlonglong offset) {
    if (playback_.state() == PlayState::Stopped) {
        return;
    }
    qlonglong target = 0;
    if (qAddOverflow(position(), offset, &target)) {
        target = offset > 0 ? std::numeric_limits<qlonglong>::max() : 0;
    }
    // Past the end there is no next file to go on with, so such a seek does nothing.
    if (target <= length()) {
        playback_.seek(seconds(std::max(target, 0LL)));
    }
}

void MprisPlayer::SetPosition(const QDBusObjectPath& trackId, qlonglong position) {
    if (playback_.state() != PlayState::Stopped && trackId == this->trackId() && position >= 0 &&
        position <= length()) {
        playback_.seek(seconds(position));
    }
}

void MprisPlayer::stateChanged(PlayState oldState, PlayState newState) {
    if (oldState == PlayState::Stopped && newState != PlayState::Stopped) {
        ++trackCount_;
        track_ = describeTrack(playback_.source());
        coverUrl_ = cover_.show(track_.cover);
        track_.cover.clear();  // on the disk now, and not needed twice
    }
    tellChanges();
}

void MprisPlayer::tellChanges() {
    QVariantMap changed;
    if (const QString status = playbackStatus(); status != toldStatus_) {
        toldStatus_ = status;
        changed.insert(QStringLiteral("PlaybackStatus"), status);
    }
    if (QVariantMap now = metadata(); now != toldMetadata_) {
        toldMetadata_ = now;
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

}  // namespace desktop

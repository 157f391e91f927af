#include "player/playback_engine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "player/audio_pipeline.h"
#include "player/mpeg_audio_duration.h"
#include "player/requested_level.h"

namespace player {

namespace {

constexpr double kNanosecondsPerSecond = 1e9;
// Close to the longest time a signed 64-bit count of nanoseconds holds (292 years).
constexpr double kLongestSeconds = 9.2e9;

std::int64_t nanoseconds(double seconds) {
    return std::llround(std::clamp(seconds, 0.0, kLongestSeconds) * kNanosecondsPerSecond);
}

double seconds(std::int64_t nanoseconds) {
    return static_cast<double>(nanoseconds) / kNanosecondsPerSecond;
}

// Why the file cannot be opened, in the system's words ("permission denied").
QString whyUnreadable(const core::FilePath& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return QStringLiteral("it cannot be read");
    }
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    return reason.left(1).toLower() + reason.mid(1);
}

// How the player's messages name the file.
QString shownName(const core::FilePath& file) {
    return file.fileName().forMessages();
}

}  // namespace

PlaybackEngine::PlaybackEngine(QObject* parent)
    : Playback(parent), soundIdentity_{QCoreApplication::applicationName(), {}} {
    counter_.setMaxThreadCount(1);
}

PlaybackEngine::~PlaybackEngine() {
    countStop_.request_stop();
    pipeline_.reset();
    counter_.waitForDone();
}

void PlaybackEngine::setSource(const core::FilePath& file) {
    const bool wasOpen = state_ != PlayState::Stopped;
    const QString previous = shownName(source_);
    source_ = file;
    close();
    if (!file.isEmpty()) {
        start();
    } else if (wasOpen) {
        tellUser(tr("Stopped %1").arg(previous));
    }
}

void PlaybackEngine::start() {
    const QString name = shownName(source_);
    QString problem;
    struct stat status {};
    // The file is looked at and opened by its bytes, which may not be UTF-8.
    if (::stat(source_.c_str(), &status) != 0) {
        problem = tr("the file does not exist");
    } else if (S_ISDIR(status.st_mode)) {
        problem = tr("it is a folder");
    } else if (!S_ISREG(status.st_mode)) {
        problem = tr("it is not a regular file");
    }
    // Made at the first play, so that starting GStreamer does not hold up the program's start.
    if (problem.isEmpty() && pipeline_ == nullptr) {
        pipeline_ = AudioPipeline::create(
            *this, [this](const PipelineEvent& event) { handleEvent(event); }, soundIdentity_);
        if (pipeline_ == nullptr) {
            problem = tr("GStreamer's plugins for playing are missing");
        } else {
            pipeline_->setVolume(volume_);
        }
    }
    if (!problem.isEmpty()) {
        tellUser(
            tr("Cannot play %1: %2").arg(name.isEmpty() ? source_.forMessages() : name, problem));
        return;
    }
    if (!pipeline_->play(source_)) {
        tellUser(tr("Cannot play %1").arg(name));
        return;
    }
    wanted_ = PlayState::Playing;
    tellUser(tr("Opening %1").arg(name));
    // The frames are counted beside playback, which starts at once. A file plays from here
    // on, so that is told now; Playing follows once the length is known, so that the length
    // told with it is the counted one.
    counting_ = true;
    countStop_ = std::stop_source();
    const std::uint64_t count = openCount_;
    const core::FilePath path = source_;
    counter_.start([this, count, path, stop = countStop_.get_token()] {
        const std::optional<double> length = mpegAudioFileDuration(path, stop);
        QMetaObject::invokeMethod(
            this, [this, count, length] { lengthCounted(count, length); }, Qt::QueuedConnection);
    });
    tellState();
}

void PlaybackEngine::lengthCounted(std::uint64_t count, std::optional<double> length) {
    if (count != openCount_) {
        return;
    }
    countedLength_ = length;
    counting_ = false;
    tellLength();
    tellState();
}

void PlaybackEngine::close(double keptPosition, std::optional<double> keptLength) {
    countStop_.request_stop();
    if (pipeline_ != nullptr) {
        pipeline_->close();
    }
    ++openCount_;
    wanted_ = PlayState::Stopped;
    keptPosition_ = keptPosition;
    lastPosition_ = keptPosition;
    countedLength_ = keptLength;
    counting_ = false;
    pendingSeek_.reset();
    seekInFlight_ = false;
    tellLength();
    tellState();
}

void PlaybackEngine::play() {
    if (wanted_ == PlayState::Paused) {
        if (pipeline_->request(PipelineState::Playing)) {
            wanted_ = PlayState::Playing;
            tellState();
        }
    } else if (wanted_ == PlayState::Stopped && !source_.isEmpty()) {
        close();
        start();
    }
}

void PlaybackEngine::pause() {
    // Told at once, and held where it is: the sound stops when the request returns, or as
    // soon as a change under way is complete, and a pipeline still on its way to playing posts
    // no change to paused.
    if (wanted_ != PlayState::Playing) {
        return;
    }
    const double held = position();
    if (pipeline_->request(PipelineState::Paused)) {
        wanted_ = PlayState::Paused;
        lastPosition_ = held;
        tellUser(tr("Paused %1").arg(shownName(source_)));
        tellState();
    }
}

void PlaybackEngine::pauseOrResume() {
    if (wanted_ == PlayState::Playing) {
        pause();
    } else {
        play();
    }
}

void PlaybackEngine::stop() {
    const bool wasOpen = state_ != PlayState::Stopped;
    close();
    if (wasOpen) {
        tellUser(tr("Stopped %1").arg(shownName(source_)));
    }
}

void PlaybackEngine::seek(double seconds) {
    if (state_ == PlayState::Stopped || std::isnan(seconds)) {
        return;
    }
    const double end = length();
    pendingSeek_ = nanoseconds(end > 0 ? std::min(seconds, end) : seconds);
    applyPendingSeek();
}

void PlaybackEngine::applyPendingSeek() {
    // Until the pipeline holds the file ready with nothing under way, a seek waits; a later
    // one takes its place.
    if (!pendingSeek_ || !pipeline_->isSettled()) {
        return;
    }
    if (pipeline_->seek(*pendingSeek_)) {
        lastPosition_ = seconds(*pendingSeek_);
        seekInFlight_ = true;
    }
    pendingSeek_.reset();
}

void PlaybackEngine::setVolume(double requested) {
    const std::optional<double> level = requestedFraction(requested, 1.0);
    if (!level || *level == volume_) {
        return;
    }
    volume_ = *level;
    if (pipeline_ != nullptr) {
        pipeline_->setVolume(volume_);
    }
    emit volumeChanged(volume_);
}

double PlaybackEngine::length() const {
    if (countedLength_) {
        return *countedLength_;
    }
    if (state_ != PlayState::Stopped) {
        if (const std::optional<std::int64_t> length = pipeline_->duration()) {
            return seconds(*length);
        }
    }
    return 0;
}

double PlaybackEngine::position() const {
    if (state_ == PlayState::Stopped) {
        return keptPosition_;
    }
    // A seek asked for stands for where playback is from the moment it is asked, also while
    // it waits for the pipeline or is on its way.
    if (pendingSeek_) {
        return seconds(*pendingSeek_);
    }
    if (seekInFlight_ || wanted_ == PlayState::Paused) {
        return lastPosition_;
    }
    // While the pipeline cannot tell (before its first sample), it stands where it was last
    // seen.
    if (const std::optional<std::int64_t> position = pipeline_->position()) {
        lastPosition_ = seconds(*position);
    }
    return lastPosition_;
}

void PlaybackEngine::handleEvent(const PipelineEvent& event) {
    const QString name = shownName(source_);
    switch (event.kind) {
        case PipelineEvent::Kind::StateReached:
            if (event.state == PipelineState::Playing && wanted_ == PlayState::Playing) {
                tellUser(tr("Playing %1").arg(name));
            }
            applyPendingSeek();
            tellState();
            return;
        case PipelineEvent::Kind::Settled:
            if (seekInFlight_) {
                seekInFlight_ = false;
                emit seeked(position());
            }
            applyPendingSeek();
            tellLength();
            return;
        case PipelineEvent::Kind::LengthChanged:
            tellLength();
            return;
        case PipelineEvent::Kind::EndOfStream: {
            // What played, which for a file cut short while it played is less than its length.
            // Without rewinding, the player stays there with the length still known.
            const double played = position();
            if (autoRewind_) {
                close();
            } else {
                close(played, length());
            }
            tellUser(tr("Finished %1").arg(name));
            return;
        }
        case PipelineEvent::Kind::Failed: {
            const QString reason = plainReason(event.error);
            close();
            tellUser(tr("Cannot play %1: %2").arg(name, reason));
            return;
        }
    }
}

void PlaybackEngine::tellState() {
    PlayState now = state_;
    switch (wanted_) {
        case PlayState::Stopped:
        case PlayState::Paused:
            now = wanted_;
            break;
        default:
            if (pipeline_->currentState() == PipelineState::Playing) {
                now = counting_ ? PlayState::Waiting : PlayState::Playing;
            } else if (state_ == PlayState::Stopped) {
                now = PlayState::Waiting;
            }
            // Otherwise it is on its way back to playing after a pause or a seek, and what was
            // told stands until it plays.
    }
    if (now != state_) {
        const PlayState oldState = state_;
        state_ = now;
        emit stateChanged(oldState, now);
    }
}

void PlaybackEngine::tellLength() {
    const double now = length();
    if (now != toldLength_) {
        toldLength_ = now;
        emit lengthChanged(now);
    }
}

void PlaybackEngine::tellUser(const QString& text) {
    statusText_ = text;
    emit statusTextChanged(text);
}

QString PlaybackEngine::plainReason(PipelineError error) const {
    switch (error) {
        case PipelineError::SoundOutput:
            return tr("the sound output cannot be used");
        case PipelineError::FileMissing:
            return tr("the file does not exist");
        case PipelineError::NotPermitted:
            return tr("permission denied");
        case PipelineError::Unreadable:
            return whyUnreadable(source_);
        case PipelineError::NoDecoder:
            return tr("no decoder for this kind of file");
        case PipelineError::NotAudio:
            return tr("not an audio file");
        case PipelineError::Other:
            break;
    }
    return tr("the media framework failed");
}

}  // namespace player

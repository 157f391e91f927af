#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>

#include "desktop/cover_file.h"
#include "desktop/mpris_service.h"
#include "desktop/track_description.h"
#include "player/playback.h"

namespace desktop {

// The desktop's media keys and media panel (MPRIS org.mpris.MediaPlayer2.Player). Play with
// nothing open, OpenUri, Next and Previous go to the program through `service`'s signals;
// every other request goes to the playback as it is, which takes the last one made. What it
// tells follows the playback's reports (the state, the length once known, and where a seek
// has taken playback), the playing file's tags and cover, and whether the program has a file
// before and after the chosen one.
class MprisPlayer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(double Rate READ rate)
    Q_PROPERTY(double MinimumRate READ rate)
    Q_PROPERTY(double MaximumRate READ rate)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(bool CanGoNext READ canGoNext)
    Q_PROPERTY(bool CanGoPrevious READ canGoPrevious)
    Q_PROPERTY(bool CanPlay READ canControl)
    Q_PROPERTY(bool CanPause READ canControl)
    Q_PROPERTY(bool CanSeek READ canControl)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    // Answers for `service`, whose adaptor it becomes; `bus` carries the PropertiesChanged
    // signals.
    MprisPlayer(MprisService& service, player::Playback& playback, const QDBusConnection& bus);

    QString playbackStatus() const;
    double rate() const { return 1.0; }
    QVariantMap metadata() const;
    double volume() const { return playback_.volume(); }
    // A level that is no number is no request (requested_level.h), and goes no further.
    void setVolume(double level);
    qlonglong position() const;
    bool canGoNext() const { return service_.hasFileAfter(); }
    bool canGoPrevious() const { return service_.hasFileBefore(); }
    bool canControl() const { return true; }

public slots:
    void Next();
    void Previous();
    // A file:// URI of an MP3 file; any other is refused with an error.
    void OpenUri(const QString& uri, const QDBusMessage& message);
    void Play();
    void Pause() { playback_.pause(); }
    void PlayPause();
    void Stop();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position);

signals:
    void Seeked(qlonglong position);

private:
    using PlayState = player::Playback::PlayState;

    void stateChanged(PlayState oldState, PlayState newState);
    qlonglong length() const;
    QDBusObjectPath trackId() const;
    // Sends what has changed since last told.
    void tellChanges();
    void tellChanged(const QVariantMap& changed);

    MprisService& service_;
    player::Playback& playback_;
    QDBusConnection bus_;
    quint64 trackCount_ = 0;  // files started so far; names each one's track id
    TrackDescription track_;
    CoverFile cover_;
    QString coverUrl_;
    QString toldStatus_;
    QVariantMap toldMetadata_;
};

}  // namespace desktop

#pragma once

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QVariantMap>

#include "tag/track_description.h"

class Form1;
class MediaComponent;

// The desktop's media keys and media panel (MPRIS org.mpris.MediaPlayer2.Player). Play starts
// the chosen file as the play & stop button does; pause, stop, seeking and the volume act as
// the media strip's controls do. What it reports follows the strip's play-state reports.
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
    // `bus` carries the PropertiesChanged signals.
    MprisPlayer(Form1& window, const QDBusConnection& bus);

    QString playbackStatus() const;
    double rate() const { return 1.0; }
    QVariantMap metadata() const;
    double volume() const;
    void setVolume(double level);
    qlonglong position() const;
    bool canGoNext() const { return false; }
    bool canGoPrevious() const { return false; }
    bool canControl() const { return true; }

public slots:
    void Next() {}
    void Previous() {}
    void Play();
    void Pause();
    void PlayPause();
    void Stop();
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& trackId, qlonglong position);

signals:
    void Seeked(qlonglong position);

private:
    void playStateChanged(qint32 oldState, qint32 newState);
    void seekToMicroseconds(qlonglong position);
    QDBusObjectPath trackId() const;
    void tellChanged(const QVariantMap& changed);

    Form1& window_;
    MediaComponent& media_;
    QDBusConnection bus_;
    qint32 state_;
    quint64 trackCount_ = 0;  // files started so far; names each one's track id
    tag::TrackDescription track_;
};

#pragma once

#include <QDBusAbstractAdaptor>
#include <QStringList>

#include <functional>

namespace desktop {

// The desktop's view of the program as a whole (MPRIS org.mpris.MediaPlayer2): its name, its
// .desktop entry, and bringing the program forward or ending it.
class MprisRoot : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool HasTrackList READ hasTrackList)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    // Answers for `service`, whose adaptor it becomes.
    MprisRoot(QObject& service, QString identity, std::function<void()> raise,
              std::function<void()> quit);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool hasTrackList() const { return false; }
    QString identity() const { return identity_; }
    QString desktopEntry() const { return QStringLiteral("mp3player"); }
    // OpenUri takes local MP3 files.
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList supportedMimeTypes() const {
        return {QStringLiteral("audio/mpeg"), QStringLiteral("audio/mp3"),
                QStringLiteral("audio/x-mp3"), QStringLiteral("audio/x-mpeg")};
    }

public slots:
    void Raise() { raise_(); }
    void Quit() { quit_(); }

private:
    QString identity_;
    std::function<void()> raise_;
    std::function<void()> quit_;
};

}  // namespace desktop

#include "desktop/mpris_service.h"

#include <QCoreApplication>

#include "desktop/mpris_player.h"
#include "desktop/mpris_root.h"

namespace desktop {

MprisService::MprisService(player::Playback& playback, QString programName, QObject* parent)
    : QObject(parent), playback_(playback), programName_(std::move(programName)) {}

void MprisService::setFilesBeside(bool before, bool after) {
    if (before != fileBefore_ || after != fileAfter_) {
        fileBefore_ = before;
        fileAfter_ = after;
        emit filesBesideChanged();
    }
}

QString MprisService::publish(QDBusConnection bus) {
    if (!bus.isConnected()) {
        return {};
    }
    new MprisRoot(
        *this, programName_, [this] { emit raiseRequested(); }, [this] { emit quitRequested(); });
    new MprisPlayer(*this, playback_, bus);
    if (!bus.registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), this,
                            QDBusConnection::ExportAdaptors)) {
        return {};
    }
    // A second copy of the program takes a name of its own, as MPRIS lays down.
    const QString name = QStringLiteral("org.mpris.MediaPlayer2.mp3player");
    for (const QString& candidate :
         {name, name + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid())}) {
        if (bus.registerService(candidate)) {
            return candidate;
        }
    }
    return {};
}

}  // namespace desktop

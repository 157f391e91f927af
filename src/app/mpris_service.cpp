#include "app/mpris_service.h"

#include <QCoreApplication>

#include "app/form1.h"
#include "app/mpris_player.h"
#include "app/mpris_root.h"

namespace mpris {

QString publish(Form1& window, QDBusConnection bus) {
    if (!bus.isConnected()) {
        return {};
    }
    new MprisRoot(window);
    new MprisPlayer(window, bus);
    if (!bus.registerObject(QStringLiteral("/org/mpris/MediaPlayer2"), &window,
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

}  // namespace mpris

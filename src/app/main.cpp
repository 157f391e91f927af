#include <QAbstractButton>
#include <QApplication>
#include <QDBusConnection>

#include <csignal>

#include "app/form1.h"
#include "desktop/mpris_service.h"
#include "player/media_strip.h"

int main(int argc, char* argv[]) {
    // Past the file-size limit a write then fails with a reason the window can show, instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(Form1::kApplicationTitle);
    QApplication::setDesktopFileName(QStringLiteral("mp3player"));
    auto strip = std::make_unique<MediaStrip>();
    player::PlaybackEngine& engine = strip->engine();
    Form1 window(std::move(strip));

    // The desktop's media controls steer the strip's engine; their Play with nothing open is
    // a press of play & stop, which plays the file chosen in the window.
    auto* playStop = window.findChild<QAbstractButton*>(QStringLiteral("cmdOpen"));
    desktop::MprisService mpris(
        engine, [playStop] { playStop->click(); }, Form1::kApplicationTitle);
    QObject::connect(&mpris, &desktop::MprisService::raiseRequested, &window, [&window] {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
    });
    // Closed as the desktop's close does: the program ends without the credit box.
    QObject::connect(&mpris, &desktop::MprisService::quitRequested, &window, &QWidget::close);
    mpris.publish(QDBusConnection::sessionBus());

    window.show();
    return QApplication::exec();
}

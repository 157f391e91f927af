#include <QApplication>
#include <QDBusConnection>

#include <csignal>

#include "app/form1.h"
#include "app/mpris_service.h"
#include "player/media_component.h"

int main(int argc, char* argv[]) {
    // Past the file-size limit a write then fails with a reason the window can show, instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName(Form1::kApplicationTitle);
    QApplication::setDesktopFileName(QStringLiteral("mp3player"));
    Form1 window(createSystemMediaComponent());
    mpris::publish(window, QDBusConnection::sessionBus());
    window.show();
    return QApplication::exec();
}

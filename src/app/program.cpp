#include "app/program.h"

#include <QApplication>
#include <QDBusConnection>
#include <QGuiApplication>

#include "app/after_first_paint.h"
#include "app/form1.h"
#include "desktop/mpris_service.h"
#include "player/media_strip.h"

Program::Program() {
    QApplication::setApplicationName(Form1::kApplicationTitle);
    QApplication::setDesktopFileName(QStringLiteral("mp3player"));
    engine_.setSoundIdentity({Form1::kApplicationTitle, QGuiApplication::desktopFileName()});
    window_ = std::make_unique<Form1>(std::make_unique<MediaStrip>(engine_));
    Form1& window = *window_;

    mpris_ = std::make_unique<desktop::MprisService>(engine_, Form1::kApplicationTitle);
    // The desktop's Play with nothing open is a press of play & stop.
    QObject::connect(mpris_.get(), &desktop::MprisService::playChosenFileRequested, &window,
                     &Form1::playChosenFile);
    QObject::connect(mpris_.get(), &desktop::MprisService::raiseRequested, &window, [&window] {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
    });
    // Closed as the desktop's close does: the program ends without the credit box.
    QObject::connect(mpris_.get(), &desktop::MprisService::quitRequested, &window, &QWidget::close);
}

Program::~Program() = default;

void Program::show() {
    // The session bus is met once the window is on screen: the first frame does not wait for it.
    afterFirstPaint(*window_, [this] { mpris_->publish(QDBusConnection::sessionBus()); });
    window_->show();
}

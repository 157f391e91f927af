#include "app/program.h"

#include <QApplication>
#include <QDBusConnection>
#include <QGuiApplication>

#include "app/after_first_paint.h"
#include "app/form1.h"
#include "desktop/mpris_service.h"
#include "desktop/window_service.h"
#include "player/media_strip.h"

Program::Program() {
    QApplication::setApplicationName(Form1::kApplicationTitle);
    QApplication::setDesktopFileName(QStringLiteral("mp3player"));
    engine_.setSoundIdentity({Form1::kApplicationTitle, QGuiApplication::desktopFileName()});
    window_ = std::make_unique<Form1>(std::make_unique<MediaStrip>(engine_));
    Form1& window = *window_;

    mpris_ = std::make_unique<desktop::MprisService>(engine_, Form1::kApplicationTitle);
    desktop::MprisService* mpris = mpris_.get();
    // The desktop's Play with nothing open is a press of play & stop; its Next and Previous
    // go along the file list.
    QObject::connect(mpris, &desktop::MprisService::playChosenFileRequested, &window,
                     &Form1::playChosenFile);
    QObject::connect(mpris, &desktop::MprisService::playFileRequested, &window,
                     &Form1::openAndPlay);
    QObject::connect(mpris, &desktop::MprisService::playFileBesideRequested, &window,
                     &Form1::playFileBeside);
    QObject::connect(&window, &Form1::filesBesideChanged, mpris,
                     &desktop::MprisService::setFilesBeside);
    mpris->setFilesBeside(window.hasFileBeside(-1), window.hasFileBeside(1));
    QObject::connect(mpris, &desktop::MprisService::raiseRequested, &window,
                     [this] { raiseWindow(); });
    // Closed as the desktop's close does: the program ends without the credit box.
    QObject::connect(mpris, &desktop::MprisService::quitRequested, &window, &QWidget::close);

    windowService_ = std::make_unique<desktop::WindowService>();
    QObject::connect(windowService_.get(), &desktop::WindowService::openRequested, &window,
                     [this](const core::FilePath& path) {
                         raiseWindow();
                         window_->open(path);
                     });
}

Program::~Program() = default;

void Program::show() {
    // The session bus is met once the window is on screen: the first frame does not wait for it.
    afterFirstPaint(*window_, [this] {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        mpris_->publish(bus);
        windowService_->publish(bus);
    });
    window_->show();
}

void Program::raiseWindow() {
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    window_->raise();
    window_->activateWindow();
}

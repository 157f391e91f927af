#include "app/mpris_root.h"

#include "app/form1.h"

MprisRoot::MprisRoot(Form1& window) : QDBusAbstractAdaptor(&window), window_(window) {}

QString MprisRoot::identity() const {
    return Form1::kApplicationTitle;
}

void MprisRoot::Raise() {
    window_.setWindowState(window_.windowState() & ~Qt::WindowMinimized);
    window_.show();
    window_.raise();
    window_.activateWindow();
}

void MprisRoot::Quit() {
    window_.close();
}

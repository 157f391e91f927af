#include <QApplication>

#include "app/form1.h"
#include "player/media_component.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(Form1::kApplicationTitle);
    QApplication::setDesktopFileName(QStringLiteral("mp3player"));
    Form1 window(createSystemMediaComponent());
    window.show();
    return QApplication::exec();
}

#include <QApplication>

#include <csignal>

#include "app/program.h"

int main(int argc, char* argv[]) {
    // Past the file-size limit a write then fails with a reason the window can show, instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    Program program;
    program.show();
    return QApplication::exec();
}

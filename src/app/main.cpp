#include <malloc.h>

#include <QApplication>

#include <csignal>

#include "app/program.h"

int main(int argc, char* argv[]) {
    // glibc gives each thread that allocates an arena of its own, whose touched pages stay
    // resident; the player's threads (decoding, the sound server's, the frame count, D-Bus, X)
    // allocate little, and two arenas serve them all.
    mallopt(M_ARENA_MAX, 2);
    // Past the file-size limit a write then fails with a reason the window can show, instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    Program program;
    program.show();
    return QApplication::exec();
}

#include <malloc.h>

#include <QApplication>
#include <QDBusConnection>

#include <csignal>
#include <cstdio>

#include "app/command_line.h"
#include "app/form1.h"
#include "app/program.h"
#include "desktop/window_service.h"

int main(int argc, char* argv[]) {
    // glibc gives each thread that allocates an arena of its own, whose touched pages stay
    // resident; the player's threads (decoding, the sound server's, the frame count, D-Bus, X)
    // allocate little, and two arenas serve them all.
    mallopt(M_ARENA_MAX, 2);
    // Past the file-size limit a write then fails with a reason the window can show, instead
    // of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
    CommandLine commandLine;
    commandLine.answerHelpOrVersion(argc, argv);
    QApplication app(argc, argv);
    const core::FilePath toOpen = commandLine.pathToOpen(argc, argv);
    // Only a start with something to open meets the session bus before its window shows.
    if (!toOpen.isEmpty() && desktop::handToRunningWindow(QDBusConnection::sessionBus(), toOpen)) {
        return 0;
    }
    Program program;
    if (!toOpen.isEmpty()) {
        if (const QString why = program.window().open(toOpen); !why.isEmpty()) {
            std::fprintf(stderr, "mp3player: %s\n", qPrintable(why));
        }
    }
    program.show();
    return QApplication::exec();
}

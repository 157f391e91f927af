#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>

#include "core/file_path.h"

// The program's own arguments beside Qt's: --help, --version, and a file or folder to open.
class CommandLine {
public:
    CommandLine();

    // Prints the usage text or the version and ends the program with status 0 when the
    // arguments ask for either. Called before the QApplication is made, since neither needs a
    // display.
    void answerHelpOrVersion(int& argc, char** argv);

    // The file or folder the arguments name, absolute and by its bytes; empty when they name
    // none, and the first when they name several. Called once the QApplication has taken its
    // own arguments out of `argv`; arguments it does not know end the program with status 1
    // and a message on stderr.
    core::FilePath pathToOpen(int argc, char** argv);

private:
    QCommandLineParser parser_;
    QCommandLineOption help_;
    QCommandLineOption version_;
};

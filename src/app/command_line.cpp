#include "app/command_line.h"

#include <QCoreApplication>
#include <QStringList>

#include "browser/folder_listing.h"

namespace {

QStringList argumentList(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return arguments;
}

}  // namespace

CommandLine::CommandLine() : help_(parser_.addHelpOption()), version_(parser_.addVersionOption()) {
    QCoreApplication::setApplicationVersion(QStringLiteral(MP3PLAYER_VERSION));
    parser_.setApplicationDescription(QCoreApplication::translate(
        "CommandLine",
        "Tamsel's MP3 Player: plays MP3 files and shows and edits their ID3 tags.\n"
        "With a file, the lists open on its folder with the file chosen; with a folder,\n"
        "on that folder. Where the player runs already on the desktop, its window comes\n"
        "forward and opens the file or folder instead."));
    parser_.addPositionalArgument(
        QStringLiteral("path"),
        QCoreApplication::translate("CommandLine", "An MP3 file to choose, or a folder to open."),
        QStringLiteral("[FILE | FOLDER]"));
}

void CommandLine::answerHelpOrVersion(int& argc, char** argv) {
    // Qt's own options are not known here and do not matter yet.
    parser_.parse(argumentList(argc, argv));
    if (!parser_.isSet(help_) && !parser_.isSet(version_)) {
        return;
    }
    const QCoreApplication withoutDisplay(argc, argv);
    if (parser_.isSet(help_)) {
        parser_.showHelp();
    }
    parser_.showVersion();
}

core::FilePath CommandLine::pathToOpen(int argc, char** argv) {
    parser_.process(*QCoreApplication::instance());
    const QStringList paths = parser_.positionalArguments();
    if (paths.isEmpty()) {
        return {};
    }
    // The argument's own bytes, as argv holds them: a name that is not UTF-8 would read as
    // another name once in a QString.
    QByteArray bytes = paths.front().toLocal8Bit();
    for (int i = 1; i < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) == paths.front()) {
            bytes = argv[i];
            break;
        }
    }
    return browser::absoluteClean(core::FilePath(bytes));
}

// Renders the player's window, showing a picked file's tag, into a PNG for the README.
// Usage: mp3player_screenshot OUTPUT.png FOLDER FILE — FOLDER becomes the start folder and
// FILE, one of its MP3 files, is picked.
#include <QApplication>
#include <QDir>
#include <QListWidget>

#include <cstdio>

#include "app/form1.h"
#include "player/media_strip.h"
#include "player/playback_engine.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUTPUT.png FOLDER FILE\n", argv[0]);
        return 2;
    }
    QDir::setCurrent(QString::fromLocal8Bit(argv[2]));
    player::PlaybackEngine engine;
    Form1 window(std::make_unique<MediaStrip>(engine));
    window.show();
    auto* files = window.findChild<QListWidget*>(QStringLiteral("File1"));
    const QList<QListWidgetItem*> found =
        files->findItems(QString::fromLocal8Bit(argv[3]), Qt::MatchExactly);
    if (found.isEmpty()) {
        std::fprintf(stderr, "%s is not in the file list\n", argv[3]);
        return 1;
    }
    files->setCurrentItem(found.front());
    QApplication::processEvents();
    return window.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}

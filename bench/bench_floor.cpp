// The floor under what the player costs while it plays: a bare Qt window and a 60 ms timer that
// reads the position, playing a file through the player's own pipeline with its sink settings,
// and nothing else. bench_playing.py measures it beside the whole program.
// Usage: bench_floor <file>
#include <malloc.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <memory>

#include "core/file_path.h"
#include "player/audio_pipeline.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <file>\n", argv[0]);
        return 2;
    }
    // The allocator as the program sets it up.
    mallopt(M_ARENA_MAX, 2);
    QApplication app(argc, argv);
    QWidget window;
    window.resize(575, 447);
    window.show();

    QObject receiver;
    const std::unique_ptr<player::AudioPipeline> pipeline = player::AudioPipeline::create(
        receiver, [](const player::PipelineEvent&) {},
        {QStringLiteral("Tamsel's MP3 Player"), QStringLiteral("mp3player")});
    if (pipeline == nullptr || !pipeline->play(core::FilePath(QByteArray(argv[1])))) {
        std::fprintf(stderr, "%s cannot be played\n", argv[1]);
        return 1;
    }
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&pipeline] { pipeline->position(); });
    tick.start(60);
    return QApplication::exec();
}

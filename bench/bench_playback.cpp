// What playing costs: how soon a file starts playing, the CPU time a second of audio takes once
// playing has started, beside GStreamer's own gst-launch with the same sink and beside mpg123
// (decoding alone, or playing into the same sound server), and the memory held while playing.
// The sustained runs happen in fresh child processes (this program run again), so that each
// peak of memory and each CPU count belongs to one run alone.
#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "app/form1.h"
#include "child_process.h"
#include "core/file_path.h"
#include "measure.h"
#include "player/media_strip.h"
#include "player/mpeg_audio_duration.h"
#include "player/playback_engine.h"
#include "report.h"
#include "temp_folder.h"

namespace {

constexpr double kGoalSeconds = 20;
constexpr int kStartRepeats = 20;
constexpr int kStartTimeoutMs = 5000;
constexpr double kSpareAudioSeconds = 5;  // the file outlasts the run, so no run hits its end

// Playing is measured after its start, which the start figure covers: GStreamer's set-up and
// the sound server's connection would otherwise weigh on short runs and on one player more
// than another (gst-launch loads GStreamer before it plays, the component at its first play).
double startSeconds(double seconds) {
    return std::min(2.0, seconds / 3);
}

// A steady mix of noise at 320 kbps: every frame full, as with dense music.
std::string makeTestFile(const std::filesystem::path& folder, double seconds) {
    const std::string wav = (folder / "noise.wav").string();
    const std::string mp3 = (folder / "noise 320.mp3").string();
    const std::string length = std::to_string(seconds);
    bench::require(
        bench::endedAsExpected(bench::runChild({"sox", "-n", "-r", "44100", "-c", "2", "-b", "16",
                                                wav, "synth", length, "pinknoise", "synth", length,
                                                "sine", "mix", "330", "gain", "-8"}),
                               {}),
        "sox could not make the test sound");
    bench::require(bench::endedAsExpected(bench::runChild({"lame", "--quiet", "--noreplaygain",
                                                           "--cbr", "-b", "320", wav, mp3}),
                                          {}),
                   "lame could not encode the test sound");
    std::filesystem::remove(wav);
    return mp3;
}

struct PlayFigures {
    double cpuSeconds = 0;
    double audioSeconds = 0;
    double peakMebibytes = 0;
};

// Child side: plays `file` for `seconds` in a fresh process, with the media component alone
// ("component") or inside the player's window ("window"), and prints what it cost.
int playAndReport(int argc, char* argv[]) {
    const std::string mode = argv[2];
    const core::FilePath file{QByteArray(argv[3])};
    const double seconds = std::strtod(argv[4], nullptr);
    QApplication app(argc, argv);
    player::PlaybackEngine engine;
    std::unique_ptr<QWidget> window;
    MediaComponent* media = nullptr;
    if (mode == "window") {
        auto form = std::make_unique<Form1>(std::make_unique<MediaStrip>(engine));
        media = form->findChild<MediaComponent*>(QStringLiteral("MediaPlayer1"));
        window = std::move(form);
    } else {
        auto component = std::make_unique<MediaStrip>(engine);
        media = component.get();
        window = std::move(component);
    }
    bench::require(media != nullptr, "the window has no MediaPlayer1");
    window->show();
    QCoreApplication::processEvents();

    bool played = false;
    QObject::connect(media, &MediaComponent::playStateChanged, [&played](qint32, qint32 newState) {
        played = played || newState == MediaComponent::kPlaying;
    });
    double cpuBefore = 0;
    media->setSourceFile(file);
    QTimer::singleShot(static_cast<int>(startSeconds(seconds) * 1000),
                       [&cpuBefore] { cpuBefore = bench::ownCpuSeconds(); });
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, &QCoreApplication::quit);
    QApplication::exec();
    const double cpu = bench::ownCpuSeconds() - cpuBefore;
    const double audio = media->currentPosition();
    const double peak = bench::peakResidentMebibytes();
    media->setSourceFile(core::FilePath());
    bench::require(played, "the file never played");
    std::printf("%.6f %.6f %.3f\n", cpu, audio, peak);
    return 0;
}

PlayFigures playInChild(const std::string& mode, const std::string& file, double seconds,
                        const std::filesystem::path& workingFolder) {
    const bench::ChildRun run =
        bench::runChild({bench::ownExecutable(), "--play", mode, file, std::to_string(seconds)},
                        {.interruptAfterSeconds = {}, .workingFolder = workingFolder.string()});
    bench::require(bench::endedAsExpected(run, {}), "the " + mode + " play run failed");
    PlayFigures figures;
    std::istringstream(run.output) >> figures.cpuSeconds >> figures.audioSeconds >>
        figures.peakMebibytes;
    bench::require(figures.audioSeconds > 0, "the " + mode + " play run played nothing");
    return figures;
}

// CPU seconds of a command-line tool for the whole of its run, interrupted after `seconds` when
// given (gst-launch plays in real time and would go on to the end of the file).
double toolCpuSeconds(const std::vector<std::string>& command, std::optional<double> seconds) {
    const bench::ChildOptions options{.interruptAfterSeconds = seconds, .workingFolder = {}};
    const bench::ChildRun run = bench::runChild(command, options);
    bench::require(bench::endedAsExpected(run, options), command.front() + " failed");
    return bench::cpuSeconds(run.usage);
}

// Milliseconds from setSourceFile() until the component reports that it plays.
std::vector<double> startLatencies(const core::FilePath& file) {
    player::PlaybackEngine engine;
    auto media = std::make_unique<MediaStrip>(engine);
    media->show();
    QCoreApplication::processEvents();
    std::vector<double> milliseconds;
    for (int i = 0; i < kStartRepeats; ++i) {
        QEventLoop waiting;
        bool playing = false;
        const auto connection = QObject::connect(media.get(), &MediaComponent::playStateChanged,
                                                 [&](qint32, qint32 newState) {
                                                     if (newState == MediaComponent::kPlaying) {
                                                         playing = true;
                                                         waiting.quit();
                                                     }
                                                 });
        QTimer::singleShot(kStartTimeoutMs, &waiting, &QEventLoop::quit);
        const auto start = bench::Clock::now();
        media->setSourceFile(file);
        if (!playing) {
            waiting.exec();
        }
        milliseconds.push_back(bench::secondsBetween(start, bench::Clock::now()) * 1000);
        QObject::disconnect(connection);
        bench::require(playing, "the file did not start playing within 5 s");
        media->setSourceFile(core::FilePath());
        QCoreApplication::processEvents();
    }
    return milliseconds;
}

std::string perSecond(double cpuSeconds, double audioSeconds) {
    return bench::withUnit(cpuSeconds * 1000 / audioSeconds, 2, "ms/s");
}

int compareAndReport(int argc, char* argv[]) {
    const double seconds = bench::sustainedRunSeconds(kGoalSeconds);
    const bench::TempFolder folder("mp3player-bench-playback");
    std::cerr << "Encoding " << seconds + kSpareAudioSeconds << " s of audio at 320 kbps\n";
    const std::string file = makeTestFile(folder.path(), seconds + kSpareAudioSeconds);
    const std::optional<double> fileSeconds =
        player::mpegAudioFileDuration(core::FilePath(QByteArray::fromStdString(file)));
    bench::require(fileSeconds.has_value(), "the test file has no MPEG audio frames");

    std::cerr << "Playing " << seconds << " s with the media component alone\n";
    const PlayFigures component = playInChild("component", file, seconds, folder.path());
    std::cerr << "Playing " << seconds << " s in the player's window\n";
    const PlayFigures window = playInChild("window", file, seconds, folder.path());

    const std::string uri = "file://" + file;  // the folder name needs no escaping
    const std::string sink = std::getenv("MP3PLAYER_AUDIO_SINK");
    // Into a sound server, mpg123 is measured playing through it in real time as well.
    const bool soundServer = sink.starts_with("pulsesink");
    const double played = seconds - startSeconds(seconds);
    // A tool's CPU a second after its start: a whole run less one that ends with the start.
    const auto perSecondPlaying = [&](const std::vector<std::string>& command) {
        return (toolCpuSeconds(command, seconds) - toolCpuSeconds(command, startSeconds(seconds))) /
               played;
    };
    std::cerr << "Playing " << seconds << " s with gst-launch-1.0 playbin\n";
    const double gstLaunchPerSecond =
        perSecondPlaying({"gst-launch-1.0", "-q", "playbin", "uri=" + uri, "audio-sink=" + sink});
    double mpg123PerSecond = 0;
    if (soundServer) {
        std::cerr << "Playing " << seconds << " s with mpg123 -o pulse\n";
        mpg123PerSecond = perSecondPlaying({"mpg123", "-q", "-o", "pulse", file});
    } else {
        std::cerr << "Decoding the whole file with mpg123\n";
        mpg123PerSecond =
            toolCpuSeconds({"mpg123", "-q", "-w", "/dev/null", file}, {}) / *fileSeconds;
    }
    const std::string mpg123Name = soundServer ? "mpg123 -o pulse" : "mpg123 decoding";

    std::cerr << "Starting to play " << kStartRepeats << " times\n";
    QApplication app(argc, argv);
    const std::vector<double> starts =
        startLatencies(core::FilePath(QByteArray::fromStdString(file)));

    // A second of the run, as for gst-launch: into a sound server the sink's position runs
    // behind the clock by its start and buffering, which would count as audio not played.
    const double ownPerSecond = component.cpuSeconds / played;
    const std::string whole = bench::withUnit(seconds, 0, "s") + ", " + sink;
    const std::string run = bench::withUnit(seconds, 0, "s") + " less the first " +
                            bench::withUnit(startSeconds(seconds), 0, "s") + ", " + sink;
    const double gstLaunchGoal = soundServer ? 1.1 : 1.2;
    bench::printTable({
        {.figure = "Start: setSourceFile to playing, median of 20",
         .measured = bench::withUnit(bench::median(starts), 1, "ms") + " (max " +
                     bench::withUnit(bench::maximum(starts), 1, "ms") + ")",
         .goal = "median under 100 ms",
         .verdict = bench::verdictAtMost(bench::median(starts), 100)},
        {.figure = "CPU a second of audio, 320 kbps, " + run + " (component)",
         .measured = perSecond(component.cpuSeconds, played),
         .baseline =
             bench::withUnit(gstLaunchPerSecond * 1000, 2, "ms/s") + " gst-launch-1.0 playbin",
         .ratio = bench::ratioText(ownPerSecond, gstLaunchPerSecond),
         .goal = "within " + bench::withUnit(gstLaunchGoal, 1, "") + "x of gst-launch",
         .verdict = bench::verdictAtMost(ownPerSecond / gstLaunchPerSecond, gstLaunchGoal)},
        {.figure = "CPU a second of audio, 320 kbps, " + run + " (component)",
         .measured = perSecond(component.cpuSeconds, played),
         .baseline = bench::withUnit(mpg123PerSecond * 1000, 2, "ms/s") + " " + mpg123Name,
         .ratio = bench::ratioText(ownPerSecond, mpg123PerSecond),
         .goal = "within 1.5x of mpg123",
         .verdict = bench::verdictAtMost(ownPerSecond / mpg123PerSecond, 1.5)},
        {.figure = "CPU a second of audio, 320 kbps, " + run + " (whole window)",
         .measured = perSecond(window.cpuSeconds, played),
         .baseline =
             bench::withUnit(gstLaunchPerSecond * 1000, 2, "ms/s") + " gst-launch-1.0 playbin",
         .ratio = bench::ratioText(window.cpuSeconds / played, gstLaunchPerSecond),
         .goal = "(for information)",
         .verdict = "-"},
        {.figure = "Peak RSS after playing " + whole + " (component)",
         .measured = bench::withUnit(component.peakMebibytes, 1, "MiB"),
         .goal = "under 60 MB",
         .verdict = bench::verdictAtMost(component.peakMebibytes * 1.048576, 60)},
        {.figure = "Peak RSS after playing " + whole + " (whole window)",
         .measured = bench::withUnit(window.peakMebibytes, 1, "MiB"),
         .goal = "under 60 MB",
         .verdict = bench::verdictAtMost(window.peakMebibytes * 1.048576, 60)},
    });
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    return bench::runBenchmark("bench_playback", [&] {
        if (argc == 5 && std::string(argv[1]) == "--play") {
            return playAndReport(argc, argv);
        }
        return compareAndReport(argc, argv);
    });
}

// What counting a file's frames costs and how soon it ends when it is no longer wanted: the
// counting rate on a cached file beside `cat FILE > /dev/null` in the same run, the count of a
// 16 GiB sparse file, and the time from a stop request, a new source or the component's end to
// the counter's end while it reads a file from the disk.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <stop_token>
#include <thread>
#include <vector>

#include "child_process.h"
#include "core/file_path.h"
#include "measure.h"
#include "player/mpeg_audio_duration.h"
#include "player/playback_engine.h"
#include "report.h"
#include "temp_folder.h"

namespace {

constexpr int kRepeats = 5;
constexpr std::uint64_t kFileBytes = std::uint64_t{1} << 30;
constexpr double kStopAfterSeconds = 0.02;

// MPEG-1 layer III frames at 128 kbit/s and 44.1 kHz with no length header, so that only a
// count of every frame finds their length.
std::string makeFrames(const std::filesystem::path& folder) {
    const std::string path = (folder / "frames.mp3").string();
    std::vector<char> frame(417, 0x55);
    const std::array<char, 4> header = {'\xFF', '\xFB', '\x90', '\x40'};
    std::copy(header.begin(), header.end(), frame.begin());
    std::vector<char> block;
    for (int i = 0; i < 2500; ++i) {
        block.insert(block.end(), frame.begin(), frame.end());
    }
    std::ofstream out(path, std::ios::binary);
    for (std::uint64_t written = 0; written < kFileBytes; written += block.size()) {
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    bench::require(out.good(), "cannot write the test file");
    return path;
}

// Drops the file from the page cache, so that reading it goes to the disk.
void evict(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bench::require(fd >= 0, "cannot open the test file");
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

double secondsToCount(const std::string& path) {
    const auto start = bench::Clock::now();
    bench::require(
        player::mpegAudioFileDuration(core::FilePath(QByteArray::fromStdString(path))).has_value(),
        "the count found nothing");
    return bench::secondsBetween(start, bench::Clock::now());
}

double secondsToCat(const std::string& path) {
    const bench::ChildRun run = bench::runChild({"sh", "-c", "cat \"$0\" > /dev/null", path});
    bench::require(bench::endedAsExpected(run, {}), "cat failed");
    return run.wallSeconds;
}

// Milliseconds from a stop request to the counter's end, counting from the disk.
double millisecondsToStop(const std::string& path) {
    evict(path);
    std::stop_source stop;
    bench::Clock::time_point ended;
    std::jthread counter([&] {
        player::mpegAudioFileDuration(core::FilePath(QByteArray::fromStdString(path)),
                                      stop.get_token());
        ended = bench::Clock::now();
    });
    std::this_thread::sleep_for(std::chrono::duration<double>(kStopAfterSeconds));
    const auto asked = bench::Clock::now();
    stop.request_stop();
    counter.join();
    return bench::secondsBetween(asked, ended) * 1000;
}

// Milliseconds the playback engine, the component behind the media strip, takes to give up a
// file it counts from the disk, by a new (empty) source or by its own end.
double millisecondsToLeave(const std::string& path, bool byEnd) {
    evict(path);
    auto engine = std::make_unique<player::PlaybackEngine>();
    engine->setSource(core::FilePath(QByteArray::fromStdString(path)));
    std::this_thread::sleep_for(std::chrono::duration<double>(kStopAfterSeconds));
    const auto asked = bench::Clock::now();
    if (byEnd) {
        engine.reset();
    } else {
        engine->setSource(core::FilePath());
    }
    const double milliseconds = bench::secondsBetween(asked, bench::Clock::now()) * 1000;
    engine.reset();
    return milliseconds;
}

std::vector<double> times(int repeats, const std::function<double()>& measure) {
    std::vector<double> values;
    for (int i = 0; i < repeats; ++i) {
        values.push_back(measure());
    }
    return values;
}

std::string medianAndMax(const std::vector<double>& values, const std::string& unit) {
    return bench::withUnit(bench::median(values), 1, unit) + " (max " +
           bench::withUnit(bench::maximum(values), 1, unit) + ")";
}

int compareAndReport(int argc, char* argv[]) {
    const bench::TempFolder folder("mp3player-bench-counting");
    std::cerr << "Writing 1 GiB of frames\n";
    const std::string path = makeFrames(folder.path());
    secondsToCat(path);  // into the page cache

    std::cerr << "Counting it and reading it with cat, " << kRepeats << " times each\n";
    std::vector<double> count;
    std::vector<double> cat;
    for (int i = 0; i < kRepeats; ++i) {
        count.push_back(secondsToCount(path));
        cat.push_back(secondsToCat(path));
    }
    const double gib = static_cast<double>(kFileBytes) / (1 << 30);
    const double countRate = gib / bench::median(count);
    const double catRate = gib / bench::median(cat);

    const std::string sparse = (folder.path() / "sparse.mp3").string();
    std::filesystem::copy_file(path, sparse);
    std::filesystem::resize_file(sparse, std::uint64_t{16} << 30);
    const std::vector<double> sparseCount =
        times(kRepeats, [&] { return secondsToCount(sparse) * 1000; });

    std::cerr << "Stopping counts from the disk\n";
    const std::vector<double> stops = times(kRepeats, [&] { return millisecondsToStop(path); });
    QApplication app(argc, argv);
    const std::vector<double> newSource =
        times(kRepeats, [&] { return millisecondsToLeave(path, false); });
    const std::vector<double> end =
        times(kRepeats, [&] { return millisecondsToLeave(path, true); });

    const std::string median = ", median of " + std::to_string(kRepeats);
    bench::printTable({
        {.figure = "Counting frames, 1 GiB cached file, no length header" + median,
         .measured = bench::withUnit(countRate, 2, "GiB/s"),
         .baseline = bench::withUnit(catRate, 2, "GiB/s") + " cat FILE > /dev/null",
         .ratio = bench::ratioText(catRate, countRate),
         .goal = "within 1.5x of cat",
         .verdict = bench::verdictAtMost(catRate / countRate, 1.5)},
        {.figure = "Counting a 16 GiB sparse file (1 GiB of frames)" + median,
         .measured = medianAndMax(sparseCount, "ms"),
         .goal = "(for information)",
         .verdict = "-"},
        {.figure = "Stop request to the counter's end, counting from the disk" + median,
         .measured = medianAndMax(stops, "ms"),
         .goal = "under 50 ms",
         .verdict = bench::verdictAtMost(bench::maximum(stops), 50)},
        {.figure = "setSourceFile(\"\") while counting from the disk" + median,
         .measured = medianAndMax(newSource, "ms"),
         .goal = "under 50 ms",
         .verdict = bench::verdictAtMost(bench::maximum(newSource), 50)},
        {.figure = "Component's end while counting from the disk" + median,
         .measured = medianAndMax(end, "ms"),
         .goal = "under 50 ms",
         .verdict = bench::verdictAtMost(bench::maximum(end), 50)},
    });
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    return bench::runBenchmark("bench_counting", [&] { return compareAndReport(argc, argv); });
}

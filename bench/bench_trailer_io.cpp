// What the tag editor's file access costs beside the bare system calls it is built on: reading
// the 128-byte trailer of many files, and writing it to some with the data flushed to disk.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "measure.h"
#include "report.h"
#include "tag/tag_record.h"
#include "tag/trailer_file.h"
#include "temp_folder.h"

namespace {

constexpr int kReadFiles = 10'000;
constexpr int kWrittenFiles = 1'000;
constexpr int kReadRounds = 7;
constexpr int kWriteRounds = 3;
constexpr std::size_t kAudioBytes = 4096;  // stands in for the audio in front of the trailer
constexpr off_t kFileSize = static_cast<off_t>(kAudioBytes + tag::TagRecord::kSize);
constexpr off_t kTrailerOffset = static_cast<off_t>(kAudioBytes);

tag::TagRecord::Bytes trailerTitled(const std::string& title) {
    tag::TagRecord record;
    record.store(tag::TagField::Tag, "TAG");
    record.store(tag::TagField::Title, title);
    record.store(tag::TagField::Artist, "Benchmark");
    return record.encode();
}

std::vector<std::string> makeTaggedFiles(const std::filesystem::path& folder, int count) {
    std::vector<char> contents(kAudioBytes, '\x55');
    const tag::TagRecord::Bytes trailer = trailerTitled("As made");
    contents.insert(contents.end(), trailer.begin(), trailer.end());
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back((folder / ("song " + std::to_string(i) + ".mp3")).string());
        const int fd = ::open(paths.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0 || ::write(fd, contents.data(), contents.size()) !=
                          static_cast<ssize_t>(contents.size())) {
            throw std::runtime_error("cannot make " + paths.back());
        }
        ::close(fd);
    }
    return paths;
}

void readThroughProgram(const std::string& path) {
    const tag::TrailerRead read = tag::readTrailer(path);
    bench::require(read.outcome == tag::TrailerRead::Outcome::Trailer,
                   "no trailer read from " + path);
}

// The least a reader of a known-size file must do: open, one read at the end, close.
void readBare(const std::string& path) {
    tag::TagRecord::Bytes bytes{};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bench::require(fd >= 0, "cannot open " + path);
    const ssize_t count = ::pread(fd, bytes.data(), bytes.size(), kTrailerOffset);
    ::close(fd);
    bench::require(
        count == static_cast<ssize_t>(bytes.size()) && std::memcmp(bytes.data(), "TAG", 3) == 0,
        "no trailer read from " + path);
}

void writeThroughProgram(const std::string& path, const tag::TagRecord::Bytes& trailer) {
    const tag::TrailerWrite written = tag::writeTrailer(path, {tag::TagRecord::decode(trailer)});
    bench::require(written.saved, "not saved to " + path + ": " + written.reason);
}

// The least a safe writer must do: look whether a trailer is there to overwrite, write, flush.
void writeBare(const std::string& path, const tag::TagRecord::Bytes& trailer) {
    tag::TagRecord::Bytes old{};
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    bench::require(fd >= 0, "cannot open " + path);
    const bool ok =
        ::pread(fd, old.data(), old.size(), kTrailerOffset) == static_cast<ssize_t>(old.size()) &&
        std::memcmp(old.data(), "TAG", 3) == 0 &&
        ::pwrite(fd, trailer.data(), trailer.size(), kTrailerOffset) ==
            static_cast<ssize_t>(trailer.size()) &&
        ::fdatasync(fd) == 0;
    bench::require(::close(fd) == 0 && ok, "cannot write to " + path);
}

// Microseconds a file for one pass of `work` over the first `count` paths.
double microsecondsPerFile(const std::vector<std::string>& paths, int count,
                           const std::function<void(const std::string&)>& work) {
    const auto start = bench::Clock::now();
    for (int i = 0; i < count; ++i) {
        work(paths[static_cast<std::size_t>(i)]);
    }
    return bench::secondsBetween(start, bench::Clock::now()) * 1e6 / count;
}

struct Comparison {
    double program = 0;
    double bare = 0;
};

// Medians over rounds in which the program and the bare calls take turns going first, so that
// neither always finds the caches the other warmed.
Comparison compareRounds(int rounds, const std::function<double(int)>& programRound,
                         const std::function<double(int)>& bareRound) {
    std::vector<double> program;
    std::vector<double> bare;
    for (int round = 0; round < rounds; ++round) {
        if (round % 2 == 0) {
            program.push_back(programRound(round));
            bare.push_back(bareRound(round));
        } else {
            bare.push_back(bareRound(round));
            program.push_back(programRound(round));
        }
    }
    return {bench::median(program), bench::median(bare)};
}

}  // namespace

int main() {
    return bench::runBenchmark("bench_trailer_io", [] {
        const bench::TempFolder folder("mp3player-bench-trailer");
        std::cerr << "Making " << kReadFiles << " tagged files in " << folder.path() << "\n";
        const std::vector<std::string> paths = makeTaggedFiles(folder.path(), kReadFiles);
        ::sync();
        microsecondsPerFile(paths, kReadFiles, readBare);

        std::cerr << "Reading trailers, " << kReadRounds << " rounds\n";
        const Comparison reading = compareRounds(
            kReadRounds,
            [&](int) { return microsecondsPerFile(paths, kReadFiles, readThroughProgram); },
            [&](int) { return microsecondsPerFile(paths, kReadFiles, readBare); });

        std::cerr << "Writing trailers with a flush, " << kWriteRounds << " rounds\n";
        const Comparison writing = compareRounds(
            kWriteRounds,
            [&](int round) {
                const auto trailer = trailerTitled("program round " + std::to_string(round));
                return microsecondsPerFile(paths, kWrittenFiles, [&](const std::string& path) {
                    writeThroughProgram(path, trailer);
                });
            },
            [&](int round) {
                const auto trailer = trailerTitled("bare round " + std::to_string(round));
                return microsecondsPerFile(paths, kWrittenFiles, [&](const std::string& path) {
                    writeBare(path, trailer);
                });
            });

        bench::printTable({
            {.figure = "Tag read: readTrailer per file (10,000 files)",
             .measured = bench::withUnit(reading.program, 2, "µs"),
             .baseline = bench::withUnit(reading.bare, 2, "µs") + " open/pread/close",
             .ratio = bench::ratioText(reading.program, reading.bare),
             .goal = "within 1.5x of bare calls",
             .verdict = bench::verdictAtMost(reading.program / reading.bare, 1.5)},
            {.figure = "Tag write: writeTrailer per file (1,000 files)",
             .measured = bench::withUnit(writing.program, 1, "µs"),
             .baseline =
                 bench::withUnit(writing.bare, 1, "µs") + " open/pread/pwrite/fdatasync/close",
             .ratio = bench::ratioText(writing.program, writing.bare),
             .goal = "within 1.2x of bare calls",
             .verdict = bench::verdictAtMost(writing.program / writing.bare, 1.2)},
        });
        return 0;
    });
}

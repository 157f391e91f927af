// What the tag editor's file access costs beside the bare system calls it is built on: reading
// the 128-byte trailer of many files, and writing it to some with the data flushed to disk,
// beside the same write bare with and without the journal's record.
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstring>
#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "core/file_path.h"
#include "measure.h"
#include "report.h"
#include "storage/write_journal.h"
#include "tag/tag_record.h"
#include "tag/tags_write.h"
#include "tag/trailer_file.h"
#include "temp_folder.h"

namespace {

constexpr int kReadFiles = 10'000;
constexpr int kWrittenFiles = 1'000;
constexpr int kReadRounds = 7;
constexpr int kWriteRounds = 8;
constexpr std::size_t kAudioBytes = 4096;  // stands in for the audio in front of the trailer
constexpr off_t kFileSize = static_cast<off_t>(kAudioBytes + id3::TagRecord::kSize);
constexpr off_t kTrailerOffset = static_cast<off_t>(kAudioBytes);

id3::TagRecord::Bytes trailerTitled(const std::string& title) {
    id3::TagRecord record;
    record.store(id3::TagField::Tag, "TAG");
    record.store(id3::TagField::Title, title);
    record.store(id3::TagField::Artist, "Benchmark");
    return record.encode();
}

std::vector<std::string> makeTaggedFiles(const std::filesystem::path& folder, int count) {
    std::vector<char> contents(kAudioBytes, '\x55');
    const id3::TagRecord::Bytes trailer = trailerTitled("As made");
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
    const id3::TrailerRead read =
        id3::readTrailerForEditing(core::FilePath(QByteArray::fromStdString(path)));
    bench::require(read.outcome == id3::TrailerRead::Outcome::Trailer,
                   "no trailer read from " + path);
}

// The least a reader of a known-size file must do: open, one read at the end, close.
void readBare(const std::string& path) {
    id3::TagRecord::Bytes bytes{};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    bench::require(fd >= 0, "cannot open " + path);
    const ssize_t count = ::pread(fd, bytes.data(), bytes.size(), kTrailerOffset);
    ::close(fd);
    bench::require(
        count == static_cast<ssize_t>(bytes.size()) && std::memcmp(bytes.data(), "TAG", 3) == 0,
        "no trailer read from " + path);
}

void writeThroughProgram(const std::string& path, const id3::TagRecord::Bytes& trailer) {
    const id3::TrailerWrite written =
        id3::writeTags(core::FilePath(QByteArray::fromStdString(path)),
                       {id3::TagRecord::decode(trailer)}, nullptr)
            .trailer;
    bench::require(written.saved, "not saved to " + path + ": " + written.reason);
}

// The least a safe writer must do: look whether a trailer is there to overwrite, write, flush.
void writeBare(const std::string& path, const id3::TagRecord::Bytes& trailer) {
    id3::TagRecord::Bytes old{};
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

// What the journal adds to that: the record set and flushed before the write, and removed
// after it; without the flush when `flushRecord` is false.
void writeBareJournaled(const std::string& path, const id3::TagRecord::Bytes& trailer,
                        bool flushRecord) {
    id3::TagRecord::Bytes old{};
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    bench::require(fd >= 0, "cannot open " + path);
    // Under the program's name and as large as its record of the up to 17 bytes by which the
    // titles of two rounds differ (with the file's device and inode and the record's digest),
    // since both decide whether it fits in the inode.
    const std::string record(54, 'r');
    const bool ok =
        ::fgetxattr(fd, storage::kJournalAttribute, nullptr, 0) < 0 &&
        ::pread(fd, old.data(), old.size(), kTrailerOffset) == static_cast<ssize_t>(old.size()) &&
        std::memcmp(old.data(), "TAG", 3) == 0 &&
        ::fsetxattr(fd, storage::kJournalAttribute, record.data(), record.size(), 0) == 0 &&
        (!flushRecord || ::fsync(fd) == 0) &&
        ::pwrite(fd, trailer.data(), trailer.size(), kTrailerOffset) ==
            static_cast<ssize_t>(trailer.size()) &&
        ::fdatasync(fd) == 0 && ::fremovexattr(fd, storage::kJournalAttribute) == 0;
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

// The median of each way of doing the same work, over rounds in which each goes once and each
// goes first in turn, so that none always finds the caches another warmed.
std::vector<double> medianRounds(int rounds, const std::vector<std::function<double(int)>>& ways) {
    std::vector<std::vector<double>> figures(ways.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < ways.size(); ++i) {
            const std::size_t way = (i + static_cast<std::size_t>(round)) % ways.size();
            figures[way].push_back(ways[way](round));
        }
    }
    std::vector<double> medians;
    for (std::vector<double>& values : figures) {
        medians.push_back(bench::median(values));
    }
    return medians;
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
        const std::vector<double> reading = medianRounds(
            kReadRounds,
            {[&](int) { return microsecondsPerFile(paths, kReadFiles, readThroughProgram); },
             [&](int) { return microsecondsPerFile(paths, kReadFiles, readBare); }});

        std::cerr << "Writing trailers with a flush, " << kWriteRounds << " rounds\n";
        const auto writeRound = [&](const char* name, const auto& write) {
            return [&paths, name, write](int round) {
                const auto trailer = trailerTitled(name + std::to_string(round));
                // Flushes what a way before this one left unflushed, so that its flushes do
                // not pay for it.
                ::sync();
                return microsecondsPerFile(paths, kWrittenFiles,
                                           [&](const std::string& path) { write(path, trailer); });
            };
        };
        const auto program = writeRound("program round ", writeThroughProgram);
        const auto bare = writeRound("bare round ", writeBare);
        const auto journaled = writeRound("journaled round ", [](const auto& path, const auto& t) {
            writeBareJournaled(path, t, true);
        });
        const auto unflushed = writeRound("unflushed round ", [](const auto& path, const auto& t) {
            writeBareJournaled(path, t, false);
        });
        const std::vector<double> writing =
            medianRounds(kWriteRounds, {program, bare, journaled, unflushed});
        const double writeProgram = writing[0];
        const double writeBare = writing[1];
        const double writeJournaled = writing[2];
        const double writeUnflushed = writing[3];

        bench::printTable({
            {.figure = "Tag read: readTrailerForEditing, as a click reads, per file (10,000 files)",
             .measured = bench::withUnit(reading[0], 2, "µs"),
             .baseline = bench::withUnit(reading[1], 2, "µs") + " open/pread/close",
             .ratio = bench::ratioText(reading[0], reading[1]),
             .goal = "within 1.5x of bare calls",
             .verdict = bench::verdictAtMost(reading[0] / reading[1], 1.5)},
            {.figure = "Tag write: writeTags of the trailer alone, per file (1,000 files)",
             .measured = bench::withUnit(writeProgram, 1, "µs"),
             .baseline = bench::withUnit(writeBare, 1, "µs") + " open/pread/pwrite/fdatasync/close",
             .ratio = bench::ratioText(writeProgram, writeBare),
             .goal = "within 1.2x of bare calls",
             .verdict = bench::verdictAtMost(writeProgram / writeBare, 1.2)},
            {.figure = "Tag write: writeTags of the trailer alone, beside the same calls with the "
                       "journal's",
             .measured = bench::withUnit(writeProgram, 1, "µs"),
             .baseline = bench::withUnit(writeJournaled, 1, "µs") +
                         " the same with fsetxattr/fsync before the pwrite, fremovexattr after",
             .ratio = bench::ratioText(writeProgram, writeJournaled),
             .goal = "within 1.2x of bare calls",
             .verdict = bench::verdictAtMost(writeProgram / writeJournaled, 1.2)},
            {.figure = "Tag write: bare calls with the journal's record but no fsync",
             .measured = bench::withUnit(writeUnflushed, 1, "µs"),
             .baseline = bench::withUnit(writeBare, 1, "µs") + " open/pread/pwrite/fdatasync/close",
             .ratio = bench::ratioText(writeUnflushed, writeBare),
             .goal = "(for information)",
             .verdict = "-"},
        });
        return 0;
    });
}

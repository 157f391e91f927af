// What saving both tags costs: an ID3v2 tag of its old size written in place with the trailer,
// beside the trailer's save as it was before it had a journal (the bare calls); and a 10 MB file
// rewritten for a larger ID3v2 tag, beside `cp` and `sync` of the same file.
#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "child_process.h"
#include "core/file_path.h"
#include "measure.h"
#include "report.h"
#include "tag/tags_write.h"
#include "temp_folder.h"

namespace {

using namespace std::string_literals;

constexpr int kFiles = 1'000;
constexpr int kInPlaceRounds = 3;
constexpr int kRewriteRounds = 7;
constexpr std::size_t kAudioBytes = 4096;
constexpr std::size_t kLargeAudioBytes = 10'000'000;

std::string syncsafe(std::size_t size) {
    std::string bytes(4, '\0');
    for (int i = 3; i >= 0; --i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<char>(size & 0x7f);
        size >>= 7;
    }
    return bytes;
}

// An ID3v2.4 tag as tag tools write one: a title and a comment of `commentSize` characters in
// text frames, and 1 KiB of padding.
std::string id3v2Tag(const std::string& title, std::size_t commentSize) {
    std::string frames;
    for (const auto& [id, text] : {std::pair<std::string, std::string>{"TIT2", title},
                                   {"COMM", "eng\0"s + std::string(commentSize, 'c')}}) {
        frames += id + syncsafe(text.size() + 1) + std::string(2, '\0') + '\0' + text;
    }
    frames += std::string(1024, '\0');
    return "ID3\x04\0\0"s + syncsafe(frames.size()) + frames;
}

std::string trailer(const std::string& title) {
    id3::TagRecord record;
    record.store(id3::TagField::Tag, "TAG");
    record.store(id3::TagField::Title, title);
    return std::string(record.encode().begin(), record.encode().end());
}

void writeFile(const std::string& path, const std::string& front, std::size_t audioBytes,
               const std::string& back) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << front << std::string(audioBytes, '\x55') << back;
    bench::require(file.good(), "cannot make " + path);
}

id3::EditedTag edited(const std::string& title) {
    id3::TagRecord record;
    record.store(id3::TagField::Tag, "TAG");
    record.store(id3::TagField::Title, title);
    return {record, 0};
}

void saveThroughProgram(const std::string& path, const std::string& title,
                        const std::string& newTag, bool rewrite) {
    const id3::TagsWrite written =
        id3::writeTags(core::FilePath(QByteArray::fromStdString(path)), edited(title),
                       [&](std::string_view) { return newTag; });
    bench::require(written.trailer.saved && written.id3v2 == id3::TagsWrite::Id3v2::Saved &&
                       written.rewritten == rewrite,
                   "not saved as expected to " + path + ": " + written.id3v2Reason);
}

// The trailer's save without a journal: look whether a trailer is there, write, flush.
void saveTrailerBare(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    bench::require(fd >= 0, "cannot open " + path);
    struct stat status {};
    char old[128];
    const bool ok = ::fstat(fd, &status) == 0 &&
                    ::pread(fd, old, sizeof old, status.st_size - 128) == 128 &&
                    std::memcmp(old, "TAG", 3) == 0 &&
                    ::pwrite(fd, bytes.data(), bytes.size(), status.st_size - 128) == 128 &&
                    ::fdatasync(fd) == 0;
    bench::require(::close(fd) == 0 && ok, "cannot write to " + path);
}

struct Comparison {
    double program = 0;
    double bare = 0;
};

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

double secondsOf(const std::function<void()>& work) {
    const auto start = bench::Clock::now();
    work();
    return bench::secondsBetween(start, bench::Clock::now());
}

}  // namespace

int main() {
    return bench::runBenchmark("bench_tags_write", [] {
        const bench::TempFolder folder("mp3player-bench-tags");
        std::vector<std::string> paths;
        for (int i = 0; i < kFiles; ++i) {
            paths.push_back((folder.path() / ("song " + std::to_string(i) + ".mp3")).string());
            writeFile(paths.back(), id3v2Tag("Title 0000", 100), kAudioBytes, trailer("As made"));
        }
        ::sync();

        std::cerr << "Saving both tags in place, " << kInPlaceRounds << " rounds\n";
        const Comparison inPlace = compareRounds(
            kInPlaceRounds,
            [&](int round) {
                // "Title 0001" and so on: as long as the title the files were made with.
                const std::string number = std::to_string(round + 1);
                const std::string title = "Title " + std::string(4 - number.size(), '0') + number;
                const std::string tag = id3v2Tag(title, 100);
                return secondsOf([&] {
                           for (const std::string& path : paths) {
                               saveThroughProgram(path, title, tag, false);
                           }
                       }) *
                       1e6 / kFiles;
            },
            [&](int round) {
                const std::string bytes = trailer("bare round " + std::to_string(round));
                return secondsOf([&] {
                           for (const std::string& path : paths) {
                               saveTrailerBare(path, bytes);
                           }
                       }) *
                       1e6 / kFiles;
            });

        const std::string large = (folder.path() / "large.mp3").string();
        const std::string copy = (folder.path() / "copy.mp3").string();
        writeFile(large, id3v2Tag("Large", 100), kLargeAudioBytes, trailer("As made"));
        ::sync();
        std::cerr << "Rewriting a 10 MB file, " << kRewriteRounds << " rounds\n";
        const Comparison rewrite = compareRounds(
            kRewriteRounds,
            [&](int round) {
                const std::string tag =
                    id3v2Tag("Larger", 3000 + 100 * static_cast<unsigned>(round));
                return secondsOf([&] { saveThroughProgram(large, "Larger", tag, true); }) * 1e3;
            },
            [&](int) {
                const bench::ChildRun run = bench::runChild(
                    {"sh", "-c", "cp -- \"$0\" \"$1\" && sync -- \"$1\"", large, copy});
                bench::require(bench::endedAsExpected(run, {}), "cp or sync failed");
                std::filesystem::remove(copy);
                return run.wallSeconds * 1e3;
            });

        bench::printTable({
            {.figure = "Tags save in place: writeTags, ID3v2 tag of its old size and trailer, "
                       "per file (1,000 files)",
             .measured = bench::withUnit(inPlace.program, 1, "µs"),
             .baseline = bench::withUnit(inPlace.bare, 1, "µs") +
                         " trailer save without journal, open/pread/pwrite/fdatasync/close",
             .ratio = bench::ratioText(inPlace.program, inPlace.bare),
             .goal = "within 1.5x of the trailer's save",
             .verdict = bench::verdictAtMost(inPlace.program / inPlace.bare, 1.5)},
            {.figure = "Tags save by rewrite: writeTags, larger ID3v2 tag, 10 MB file, median of 7",
             .measured = bench::withUnit(rewrite.program, 1, "ms"),
             .baseline = bench::withUnit(rewrite.bare, 1, "ms") + " cp FILE COPY && sync COPY",
             .ratio = bench::ratioText(rewrite.program, rewrite.bare),
             .goal = "within 2x of cp and sync",
             .verdict = bench::verdictAtMost(rewrite.program / rewrite.bare, 2.0)},
        });
        return 0;
    });
}

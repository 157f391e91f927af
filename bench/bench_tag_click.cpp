// What a click on a file in the file list costs when the file begins with a 1 KiB ID3v2 tag,
// beside a click on a file with the trailer alone: the window's whole handler, which reads the
// trailer, looks for an ID3v2 tag's header and shows what it found. Also what reading the
// trailer and the ID3v2 tag's fields costs, as the message label's tooltip and the desktop's
// media panel read them, beside reading the trailer alone.
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>

#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "browser/file_list.h"
#include "core/file_path.h"
#include "measure.h"
#include "player/media_strip.h"
#include "player/playback_engine.h"
#include "report.h"
#include "tag/id3v2_file.h"
#include "tag/tag_record.h"
#include "tag/trailer_file.h"
#include "temp_folder.h"

namespace {

constexpr int kFilesOfEachKind = 1'000;
constexpr int kRounds = 7;
constexpr std::size_t kAudioBytes = 4096;
constexpr std::size_t kId3v2Size = 1024;

std::string bigEndian(std::size_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
            static_cast<char>(value >> 8), static_cast<char>(value)};
}

std::string textFrame(const std::string& id, const std::string& text) {
    return id + bigEndian(text.size() + 1) + std::string(2, '\0') + '\0' + text;
}

// A version 2.3 tag of 1,024 bytes as taggers write it: the usual text frames and padding.
std::string id3v2Tag() {
    const std::string frames = textFrame("TIT2", "A title of some length") +
                               textFrame("TPE1", "An artist") + textFrame("TALB", "An album") +
                               textFrame("TYER", "2024") + textFrame("TCON", "Rock") +
                               textFrame("TRCK", "7/12") + "COMM" + bigEndian(20) +
                               std::string(2, '\0') + std::string("\0eng\0", 5) + "a comment here.";
    const std::size_t body = kId3v2Size - 10;
    const std::string size = {0, 0, static_cast<char>(body >> 7), static_cast<char>(body & 0x7F)};
    return "ID3" + std::string("\x03\x00\x00", 3) + size + frames +
           std::string(body - frames.size(), '\0');
}

std::string trailer() {
    id3::TagRecord record;
    record.store(id3::TagField::Tag, "TAG");
    record.store(id3::TagField::Title, "A title of some length");
    record.store(id3::TagField::Artist, "An artist");
    const id3::TagRecord::Bytes& bytes = record.encode();
    return {bytes.begin(), bytes.end()};
}

std::vector<std::string> makeFiles(const std::filesystem::path& folder, const std::string& prefix,
                                   const std::string& contents) {
    std::vector<std::string> paths;
    for (int i = 0; i < kFilesOfEachKind; ++i) {
        paths.push_back((folder / (prefix + std::to_string(10'000 + i) + ".mp3")).string());
        const int fd = ::open(paths.back().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool written = fd >= 0 && ::write(fd, contents.data(), contents.size()) ==
                                            static_cast<ssize_t>(contents.size());
        bench::require(written && ::close(fd) == 0, "cannot make " + paths.back());
    }
    return paths;
}

// Microseconds a click for clicking the file list's rows `first` to `first + count - 1`.
double microsecondsPerClick(browser::FileList& files, int first, int count) {
    const auto start = bench::Clock::now();
    for (int row = first; row < first + count; ++row) {
        files.setCurrentRow(row);
    }
    return bench::secondsBetween(start, bench::Clock::now()) * 1e6 / count;
}

double microsecondsPerRead(const std::vector<std::string>& paths,
                           const std::function<void(const std::string&)>& read) {
    const auto start = bench::Clock::now();
    for (const std::string& path : paths) {
        read(path);
    }
    return bench::secondsBetween(start, bench::Clock::now()) * 1e6 /
           static_cast<double>(paths.size());
}

void readBothTags(const std::string& path) {
    const core::FilePath file(QByteArray::fromStdString(path));
    bench::require(id3::readTrailer(file).outcome == id3::TrailerRead::Outcome::Trailer &&
                       id3::readId3v2Fields(file),
                   "no tags read from " + path);
}

void readTrailerAlone(const std::string& path) {
    const core::FilePath file(QByteArray::fromStdString(path));
    bench::require(id3::readTrailer(file).outcome == id3::TrailerRead::Outcome::Trailer &&
                       !id3::readId3v2Fields(file),
                   "no trailer read from " + path);
}

struct Comparison {
    double withId3v2 = 0;
    double trailerAlone = 0;
};

// Medians over rounds in which the two kinds of file take turns going first.
Comparison compareRounds(const std::function<double()>& withId3v2,
                         const std::function<double()>& trailerAlone) {
    std::vector<double> id3v2;
    std::vector<double> alone;
    for (int round = 0; round < kRounds; ++round) {
        if (round % 2 == 0) {
            id3v2.push_back(withId3v2());
            alone.push_back(trailerAlone());
        } else {
            alone.push_back(trailerAlone());
            id3v2.push_back(withId3v2());
        }
    }
    return {bench::median(id3v2), bench::median(alone)};
}

}  // namespace

int main(int argc, char* argv[]) {
    return bench::runBenchmark("bench_tag_click", [&] {
        const bench::TempFolder folder("mp3player-bench-click");
        const std::string audio(kAudioBytes, '\x55');
        // Listed in name order: the trailer-only files first, then those with both tags.
        const std::vector<std::string> alone = makeFiles(folder.path(), "a", audio + trailer());
        const std::vector<std::string> both =
            makeFiles(folder.path(), "b", id3v2Tag() + audio + trailer());

        std::cerr << "Reading both kinds of file, " << kRounds << " rounds\n";
        microsecondsPerRead(alone, readTrailerAlone);
        microsecondsPerRead(both, readBothTags);
        const Comparison reading =
            compareRounds([&] { return microsecondsPerRead(both, readBothTags); },
                          [&] { return microsecondsPerRead(alone, readTrailerAlone); });

        std::cerr << "Clicking " << 2 * kFilesOfEachKind << " files in the window, " << kRounds
                  << " rounds\n";
        QApplication app(argc, argv);
        QDir::setCurrent(QString::fromStdString(folder.path().string()));
        player::PlaybackEngine engine;
        Form1 window(std::make_unique<MediaStrip>(engine));
        auto* files = window.findChild<browser::FileList*>(QStringLiteral("File1"));
        bench::require(files != nullptr && files->count() == 2 * kFilesOfEachKind,
                       "the file list does not hold the files");
        microsecondsPerClick(*files, 0, 2 * kFilesOfEachKind);
        const Comparison clicking = compareRounds(
            [&] { return microsecondsPerClick(*files, kFilesOfEachKind, kFilesOfEachKind); },
            [&] { return microsecondsPerClick(*files, 0, kFilesOfEachKind); });

        bench::printTable({
            {.figure = "Tag click: File1_Click per file, 1 KiB ID3v2 tag and trailer (1,000 files)",
             .measured = bench::withUnit(clicking.withId3v2, 1, "µs"),
             .baseline = bench::withUnit(clicking.trailerAlone, 1, "µs") + " trailer alone",
             .ratio = bench::ratioText(clicking.withId3v2, clicking.trailerAlone),
             .goal = "within 1.5x of a trailer-only click",
             .verdict = bench::verdictAtMost(clicking.withId3v2 / clicking.trailerAlone, 1.5)},
            {.figure = "Tag read for the tooltip and MPRIS: readTrailer and readId3v2Fields, 1 KiB "
                       "ID3v2 tag (1,000 files)",
             .measured = bench::withUnit(reading.withId3v2, 2, "µs"),
             .baseline = bench::withUnit(reading.trailerAlone, 2, "µs") + " trailer alone",
             .ratio = bench::ratioText(reading.withId3v2, reading.trailerAlone),
             .goal = "(for information)",
             .verdict = "-"},
        });
        return 0;
    });
}

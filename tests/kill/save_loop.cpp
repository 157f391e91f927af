// Saves tags to one file over and over until it is killed; the interrupted-save test kills it
// at random moments and looks at what each kill left behind.
//   save_loop FILE FIRST LAST replace          replaces the file's trailer
//   save_loop FILE FIRST LAST append SIZE      cuts the file back to SIZE bytes before each
//                                              save, so that every save appends the trailer
//   save_loop FILE FIRST LAST tags TAG0 TAG1   saves the trailer and the ID3v2 tag whose bytes
//                                              the files TAG0 and TAG1 hold
// Saves the trailers (and tags) of even and odd turns in turn, the trailers differing in their
// bytes FIRST to LAST (kill_test::trailerOfTurn), and writes "." to standard output as each
// save begins, by which the test tells how far it got.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "kill/turns.h"
#include "tag/tags_write.h"

namespace {

std::string readFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 4 ? argv[4] : "";
    if ((mode != "replace" && mode != "append" && mode != "tags") ||
        (mode == "append" && argc != 6) || (mode == "tags" && argc != 7)) {
        std::fprintf(stderr,
                     "usage: save_loop FILE FIRST LAST replace | append SIZE | tags TAG0 TAG1\n");
        return 2;
    }
    const core::FilePath path{QByteArray(argv[1])};
    const int first = std::atoi(argv[2]);
    const int last = std::atoi(argv[3]);
    const long cutBackTo = mode == "append" ? std::atol(argv[5]) : -1;
    const std::string tags[2] = {mode == "tags" ? readFile(argv[5]) : "",
                                 mode == "tags" ? readFile(argv[6]) : ""};

    // A kill ends the process, not the system: what the page cache holds outlives it, so
    // flushing to the disk changes nothing a kill can leave behind and only slows the loop.
    storage::SystemCalls calls;
    calls.fdatasync = [](int) { return 0; };
    calls.fsync = [](int) { return 0; };
    // The kernel copies a write page by page and ends it short when a kill comes between two
    // pages. Each write here ends after half its bytes (the rest follows in the next) and
    // marks the moment with "|", then waits for a byte on standard input, so that the test
    // can kill it there as often as it likes.
    calls.pwrite = [](int fd, const void* data, size_t size, off_t offset) {
        const ssize_t written = ::pwrite(fd, data, size > 1 ? size / 2 : size, offset);
        char go = 0;
        if (::write(STDOUT_FILENO, "|", 1) != 1 || ::read(STDIN_FILENO, &go, 1) != 1) {
            std::exit(1);
        }
        return written;
    };

    for (long turn = 0;; ++turn) {
        if (cutBackTo >= 0 && ::truncate(path.c_str(), cutBackTo) != 0) {
            std::perror("truncate");
            return 1;
        }
        if (::write(STDOUT_FILENO, ".", 1) != 1) {
            return 1;
        }
        const id3::EditedTag edited = kill_test::trailerOfTurn(turn, first, last);
        std::string failure;
        if (mode == "tags") {
            const id3::TagsWrite written = id3::writeTags(
                path, edited, [&](std::string_view) { return tags[turn % 2]; }, calls);
            if (written.id3v2 == id3::TagsWrite::Id3v2::NotSaved || !written.trailer.saved) {
                failure = written.id3v2Reason + " / " + written.trailer.reason;
            }
        } else {
            failure = id3::writeTags(path, edited, nullptr, calls).trailer.reason;
        }
        if (!failure.empty()) {
            std::fprintf(stderr, "not saved: %s\n", failure.c_str());
            return 1;
        }
    }
}

// Saves tags to one file over and over until it is killed; the interrupted-save test kills it
// at random moments and looks at what each kill left behind.
//   save_loop FILE replace        replaces the file's trailer
//   save_loop FILE append SIZE    cuts the file back to SIZE bytes before each save, so that
//                                 every save appends
// Saves the two trailers of kill_test::trailerOfTurn in turn, and writes one line to standard
// output just before the first save.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "kill/turns.h"
#include "tag/trailer_file.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: save_loop FILE replace | FILE append SIZE\n");
        return 2;
    }
    const std::string path = argv[1];
    const std::string mode = argv[2];
    const long cutBackTo = mode == "append" && argc > 3 ? std::atol(argv[3]) : -1;

    // A kill ends the process, not the system: what the page cache holds outlives it, so
    // flushing to the disk changes nothing a kill can leave behind and only slows the loop.
    tag::WriterSystemCalls calls;
    calls.fdatasync = [](int) { return 0; };

    std::puts("saving");
    std::fflush(stdout);
    for (long turn = 0;; ++turn) {
        if (cutBackTo >= 0 && ::truncate(path.c_str(), cutBackTo) != 0) {
            std::perror("truncate");
            return 1;
        }
        const tag::TrailerWrite written =
            tag::writeTrailer(path, kill_test::trailerOfTurn(turn), calls);
        if (!written.saved) {
            std::fprintf(stderr, "not saved: %s\n", written.reason.c_str());
            return 1;
        }
    }
}

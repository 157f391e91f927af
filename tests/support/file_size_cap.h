#pragma once

#include <sys/resource.h>

#include <csignal>

namespace test_files {

// Root may write anything, so a failing write is made by capping the size a file may grow to.
// SIGXFSZ keeps its default action, ending the process, since the writer must not die of it
// even in a program that does not ignore it.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) : savedAction_(std::signal(SIGXFSZ, SIG_DFL)) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        const rlimit capped{bytes, saved_.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &capped);
    }
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;
    ~FileSizeCap() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, savedAction_);
    }

private:
    void (*savedAction_)(int);
    rlimit saved_{};
};

}  // namespace test_files

#pragma once

#include <sys/resource.h>

#include <cerrno>
#include <csignal>

// Ways for a test to make the tag writer's writes fail.
namespace test_files {

// A system call that fails with `error`, whatever it is handed.
inline auto failingWith(int error) {
    return [error](auto...) {
        errno = error;
        return -1;
    };
}

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

#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <functional>

namespace tag {

// The calls the writers make on files and folders, in one place so that a test can make the
// disk fail in each of the ways a disk fails.
struct WriterSystemCalls {
    // The file's bytes, written in place.
    std::function<ssize_t(int, void*, size_t, off_t)> pread = ::pread;
    std::function<ssize_t(int, const void*, size_t, off_t)> pwrite = ::pwrite;
    std::function<int(int, off_t)> ftruncate = ::ftruncate;
    std::function<int(int)> fdatasync = ::fdatasync;
    std::function<int(int)> close = ::close;
};

}  // namespace tag

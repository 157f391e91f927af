#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <functional>
#include <string>
#include <utility>

#include "core/file_path.h"

namespace storage {

// What a failed call's `error` means to the user, short enough to follow "…: " in a message.
std::string describeError(int error);

// Owns a descriptor so that every way out of a function closes it.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd, std::function<int(int)> close = ::close)
        : fd_(fd), close_(std::move(close)) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            close_(fd_);
        }
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    int fd_;
    std::function<int(int)> close_;
};

struct OpenedFile {
    int fd = -1;
    struct stat status {};
    core::FilePath path{};    // the path opened: the one asked for, or the target of its link
    bool notRegular = false;  // refused because it is no regular file
    int error = 0;            // the open's errno when it failed
    std::string reason;
};

// Opens `path` and keeps it only when it is a regular file. O_NONBLOCK lets the open of a FIFO
// return at once instead of waiting for its other end.
OpenedFile openRegularFile(const core::FilePath& path, int access);

// Opens the file a save writes to, for reading and writing. The file list shows a link by its
// own name, so a link is followed only to a file with an MP3 name; the target's path found
// here is the one opened, so a link put in place after the check cannot redirect the write.
OpenedFile openForSaving(const core::FilePath& path);

// Ignores a signal while it lives: past the file-size limit a write then fails with EFBIG
// instead of the signal ending the program.
class IgnoredSignal {
public:
    explicit IgnoredSignal(int signal);
    IgnoredSignal(const IgnoredSignal&) = delete;
    IgnoredSignal& operator=(const IgnoredSignal&) = delete;
    ~IgnoredSignal();

private:
    int signal_;
    struct sigaction previous_ {};
};

// pread/pwrite until done; false on any error or an unexpected end.
template <typename Transfer, typename Buffer>
bool transferAll(const Transfer& transfer, int fd, Buffer* data, std::size_t size, off_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = transfer(fd, data + done, size - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace storage

#include "tag/trailer_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace tag {

namespace {

constexpr off_t kTrailerSize = static_cast<off_t>(TagRecord::kSize);

std::string describeError(int error) {
    switch (error) {
        case ENOENT:
            return "the file no longer exists";
        case EACCES:
        case EPERM:
            return "permission denied";
        case EROFS:
            return "the disk is read-only";
        case ENOSPC:
            return "the disk is full";
        case EFBIG:
            return "the file may not grow any larger";
        default:
            return std::strerror(error);
    }
}

// Why `status` is no file we may touch, or nothing when it is a regular file.
std::optional<std::string> notARegularFile(const struct stat& status) {
    if (S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    if (S_ISDIR(status.st_mode)) {
        return "it is a folder, not a file";
    }
    return "it is not a regular file";
}

// Owns a descriptor so that every way out of a function closes it.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now and tells whether the close went well, since a close can report a lost write.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

// Opens `path` and keeps it only when it is a regular file. O_NONBLOCK lets the open of a FIFO
// return at once instead of waiting for its other end.
struct OpenedFile {
    int fd = -1;
    off_t size = 0;
    bool notRegular = false;  // refused because it is no regular file
    std::string reason;
};

OpenedFile openRegularFile(const std::string& path, int access) {
    const int fd = ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EISDIR) {
            return {.notRegular = true, .reason = "it is a folder, not a file"};
        }
        return {.reason = describeError(error)};
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return {.reason = describeError(error)};
    }
    if (auto why = notARegularFile(status)) {
        ::close(fd);
        return {.notRegular = true, .reason = *why};
    }
    return {.fd = fd, .size = status.st_size, .reason = {}};
}

// pread/pwrite until done; false on any error or an unexpected end.
template <typename Transfer, typename Buffer>
bool transferAll(Transfer transfer, int fd, Buffer* data, std::size_t size, off_t offset) {
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

bool readAt(int fd, TagRecord::Bytes& bytes, off_t offset) {
    return transferAll(::pread, fd, bytes.data(), bytes.size(), offset);
}

bool writeAt(int fd, const TagRecord::Bytes& bytes, off_t offset) {
    return transferAll(::pwrite, fd, bytes.data(), bytes.size(), offset);
}

bool beginsWithTrailerMark(const TagRecord::Bytes& bytes) {
    return TagRecord::decode(bytes).hasTrailerMark();
}

}  // namespace

TrailerRead readTrailer(const std::string& path) {
    TrailerRead result;
    OpenedFile opened = openRegularFile(path, O_RDONLY);
    FileDescriptor file(opened.fd);
    if (!file.valid()) {
        result.outcome =
            opened.notRegular ? TrailerRead::Outcome::NotAFile : TrailerRead::Outcome::Unreadable;
        result.reason = opened.reason;
        return result;
    }
    if (opened.size < kTrailerSize) {
        result.outcome = TrailerRead::Outcome::NoTrailer;
        return result;
    }
    if (!readAt(file.get(), result.lastBytes, opened.size - kTrailerSize)) {
        result.outcome = TrailerRead::Outcome::Unreadable;
        result.reason = errno != 0 ? describeError(errno) : "the file became shorter";
        return result;
    }
    result.outcome = beginsWithTrailerMark(result.lastBytes) ? TrailerRead::Outcome::Trailer
                                                             : TrailerRead::Outcome::NoTrailer;
    return result;
}

TrailerWrite writeTrailer(const std::string& path, const TagRecord::Bytes& trailer) {
    OpenedFile opened = openRegularFile(path, O_RDWR);
    FileDescriptor file(opened.fd);
    if (!file.valid()) {
        return {false, opened.reason};
    }
    const off_t oldSize = opened.size;

    TagRecord::Bytes oldTrailer{};
    const bool overwrite = oldSize >= kTrailerSize &&
                           readAt(file.get(), oldTrailer, oldSize - kTrailerSize) &&
                           beginsWithTrailerMark(oldTrailer);
    const off_t offset = overwrite ? oldSize - kTrailerSize : oldSize;

    errno = 0;
    if (writeAt(file.get(), trailer, offset) && ::fdatasync(file.get()) == 0) {
        if (file.close()) {
            return {true, {}};
        }
        return {false, describeError(errno)};
    }
    const std::string reason = describeError(errno != 0 ? errno : EIO);
    // Undo what part of the 128 bytes may have landed, so no half-written trailer stays behind.
    if (overwrite) {
        writeAt(file.get(), oldTrailer, offset);
    } else {
        [[maybe_unused]] const int ignored = ::ftruncate(file.get(), oldSize);
    }
    ::fdatasync(file.get());
    return {false, reason};
}

}  // namespace tag

#include "tag/trailer_file.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

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
        case EIO:
            return "the disk reported an error";
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

// Opens `path` and keeps it only when it is a regular file. O_NONBLOCK lets the open of a FIFO
// return at once instead of waiting for its other end.
struct OpenedFile {
    int fd = -1;
    off_t size = 0;
    bool notRegular = false;  // refused because it is no regular file
    int error = 0;            // the open's errno when it failed
    std::string reason;
};

OpenedFile openRegularFile(const std::string& path, int access) {
    const int fd = ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EISDIR) {
            return {.notRegular = true, .reason = "it is a folder, not a file"};
        }
        return {.error = error, .reason = describeError(error)};
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

bool hasMp3Name(std::string_view path) {
    const std::string_view name = path.substr(path.find_last_of('/') + 1);
    constexpr std::string_view kExtension = ".mp3";
    return name.size() >= kExtension.size() &&
           ::strncasecmp(name.data() + name.size() - kExtension.size(), kExtension.data(),
                         kExtension.size()) == 0;
}

// Opens the file a save writes to. The file list shows a link by its own name, so a link is
// followed only to a file with an MP3 name; the target's path found here is the one opened,
// so a link put in place after the check cannot redirect the write.
OpenedFile openForSaving(const std::string& path) {
    OpenedFile opened = openRegularFile(path, O_RDWR | O_NOFOLLOW);
    if (opened.error != ELOOP) {
        return opened;
    }
    const std::unique_ptr<char, decltype(&std::free)> target(::realpath(path.c_str(), nullptr),
                                                             &std::free);
    if (!target) {
        return {.reason = describeError(errno)};
    }
    if (!hasMp3Name(target.get())) {
        return {.reason =
                    "it is a link to " + std::string(target.get()) + ", which is no MP3 file"};
    }
    return openRegularFile(target.get(), O_RDWR | O_NOFOLLOW);
}

// Ignores a signal while it lives: past the file-size limit a write then fails with EFBIG
// instead of the signal ending the program.
class IgnoredSignal {
public:
    explicit IgnoredSignal(int signal) : signal_(signal) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(signal_, &ignore, &previous_);
    }
    IgnoredSignal(const IgnoredSignal&) = delete;
    IgnoredSignal& operator=(const IgnoredSignal&) = delete;
    ~IgnoredSignal() { ::sigaction(signal_, &previous_, nullptr); }

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

// The bytes at the end of a file that tell whether it ends in a trailer: the last 128, and the
// 3 before them, since "TAG" 128 bytes from the end is no trailer when it is the middle of
// "APETAGEX", the mark of an APEv2 tag that begins 131 bytes from the end.
struct FileEnd {
    static constexpr off_t kSize = kTrailerSize + 3;
    std::array<std::uint8_t, kSize> bytes{};
    off_t length = 0;  // how many of them the file holds: all, or fewer when it is shorter

    TagRecord::Bytes lastBytes() const {
        TagRecord::Bytes last{};
        std::copy_n(bytes.end() - kTrailerSize, last.size(), last.begin());
        return last;
    }
    bool holdsTrailer() const {
        constexpr std::string_view kApeMark = "APETAGEX";
        if (length < kTrailerSize ||
            (length == kSize && std::equal(kApeMark.begin(), kApeMark.end(), bytes.begin()))) {
            return false;
        }
        return TagRecord::decode(lastBytes()).hasTrailerMark();
    }
};

// Reads the end of a file of `fileSize` bytes; false on any error or an unexpected end.
template <typename Read>
bool readEnd(const Read& read, int fd, off_t fileSize, FileEnd& end) {
    end.length = std::min(fileSize, FileEnd::kSize);
    std::uint8_t* const first = end.bytes.data() + (FileEnd::kSize - end.length);
    return transferAll(read, fd, first, static_cast<std::size_t>(end.length),
                       fileSize - end.length);
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
    FileEnd end;
    errno = 0;
    if (!readEnd(::pread, file.get(), opened.size, end)) {
        result.outcome = TrailerRead::Outcome::Unreadable;
        result.reason = errno != 0 ? describeError(errno) : "the file became shorter";
        return result;
    }
    result.lastBytes = end.lastBytes();
    result.outcome =
        end.holdsTrailer() ? TrailerRead::Outcome::Trailer : TrailerRead::Outcome::NoTrailer;
    return result;
}

TrailerWrite writeTrailer(const std::string& path, const EditedTag& edited,
                          const WriterSystemCalls& calls) {
    const IgnoredSignal fileSizeLimitSignal(SIGXFSZ);
    OpenedFile opened = openForSaving(path);
    FileDescriptor file(opened.fd, calls.close);
    if (!file.valid()) {
        return {false, opened.reason};
    }
    const off_t oldSize = opened.size;
    const auto writeAt = [&](const TagRecord::Bytes& bytes, off_t offset) {
        return transferAll(calls.pwrite, file.get(), bytes.data(), bytes.size(), offset);
    };

    std::optional<TagRecord> inFile;
    if (oldSize >= kTrailerSize) {
        FileEnd end;
        errno = 0;
        if (!readEnd(calls.pread, file.get(), oldSize, end)) {
            // Unread, they could be a trailer that an append would leave in the middle.
            return {false, (errno != 0 ? describeError(errno) : "the file became shorter") +
                               " while its last 128 bytes were read"};
        }
        if (end.holdsTrailer()) {
            inFile = TagRecord::decode(end.lastBytes());
        }
    }
    const off_t offset = inFile ? oldSize - kTrailerSize : oldSize;

    errno = 0;
    if (writeAt(savedTrailer(edited, inFile), offset) && calls.fdatasync(file.get()) == 0) {
        // On disk now: a failing close can lose nothing more.
        return {true, {}};
    }
    std::string reason = describeError(errno != 0 ? errno : EIO);
    // Undo what part of the 128 bytes may have landed, so no half-written trailer stays behind.
    const bool undone =
        (inFile ? writeAt(inFile->encode(), offset) : calls.ftruncate(file.get(), oldSize) == 0) &&
        calls.fdatasync(file.get()) == 0;
    if (!undone) {
        reason += ", and the file could not be put back as it was: it may end in an incomplete tag";
    }
    return {false, reason};
}

}  // namespace tag

#include "storage/file_access.h"

#include <fcntl.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

namespace storage {

namespace {

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

bool hasMp3Name(std::string_view path) {
    const std::string_view name = path.substr(path.find_last_of('/') + 1);
    constexpr std::string_view kExtension = ".mp3";
    return name.size() >= kExtension.size() &&
           ::strncasecmp(name.data() + name.size() - kExtension.size(), kExtension.data(),
                         kExtension.size()) == 0;
}

}  // namespace

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

OpenedFile openRegularFile(const core::FilePath& path, int access) {
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
    return {.fd = fd, .status = status, .path = path, .reason = {}};
}

OpenedFile openForSaving(const core::FilePath& path) {
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
    return openRegularFile(core::FilePath(QByteArray(target.get())), O_RDWR | O_NOFOLLOW);
}

IgnoredSignal::IgnoredSignal(int signal) : signal_(signal) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(signal_, &ignore, &previous_);
}

IgnoredSignal::~IgnoredSignal() {
    ::sigaction(signal_, &previous_, nullptr);
}

}  // namespace storage

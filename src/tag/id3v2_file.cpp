#include "tag/id3v2_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "storage/file_access.h"
#include "tag/id3v2_tag.h"

namespace id3 {

namespace {

// Reads the file's bytes from `offset` on until `bytes` holds `end` of them, as they stand in
// the file; false on an error or an early end.
bool readUpTo(int fd, std::string& bytes, std::size_t offset, std::size_t end) {
    bytes.resize(end);
    return storage::transferAll(::pread, fd, bytes.data() + offset, end - offset,
                                static_cast<off_t>(offset));
}

// The tag the open file begins with: its header alone, or the whole tag (as much of it as the
// file holds).
std::optional<std::string> tagBytes(int fd, bool headerOnly) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    const auto fileSize = static_cast<std::size_t>(status.st_size);
    std::string bytes;
    if (fileSize < kId3v2HeaderSize || !readUpTo(fd, bytes, 0, kId3v2HeaderSize)) {
        return std::nullopt;
    }
    const std::optional<std::size_t> tagSize = id3v2TagSize(bytes);
    if (!tagSize || headerOnly) {
        return tagSize ? std::optional(bytes) : std::nullopt;
    }
    if (!readUpTo(fd, bytes, kId3v2HeaderSize, std::min(*tagSize, fileSize))) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

bool beginsWithId3v2Tag(int fd) {
    return tagBytes(fd, true).has_value();
}

std::optional<std::string> readId3v2Tag(const core::FilePath& path) {
    const storage::OpenedFile opened = storage::openRegularFile(path, O_RDONLY);
    const storage::FileDescriptor file(opened.fd);
    if (!file.valid()) {
        return std::nullopt;
    }
    return tagBytes(file.get(), false);
}

std::optional<Id3v2Fields> readId3v2Fields(const core::FilePath& path) {
    const std::optional<std::string> bytes = readId3v2Tag(path);
    return bytes ? parseId3v2(*bytes) : std::nullopt;
}

}  // namespace id3

#include "tag/trailer_file.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <optional>
#include <string_view>

#include "tag/file_access.h"

namespace tag {

namespace {

constexpr off_t kTrailerSize = static_cast<off_t>(TagRecord::kSize);

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
    if (opened.status.st_size < kTrailerSize) {
        result.outcome = TrailerRead::Outcome::NoTrailer;
        return result;
    }
    FileEnd end;
    errno = 0;
    if (!readEnd(::pread, file.get(), opened.status.st_size, end)) {
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
    const off_t oldSize = opened.status.st_size;
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

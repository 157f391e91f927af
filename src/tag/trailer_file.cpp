#include "tag/trailer_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "storage/file_access.h"
#include "tag/id3v2_file.h"
#include "tag/interrupted_save.h"

namespace id3 {

namespace {

constexpr off_t kTrailerSize = static_cast<off_t>(TagRecord::kSize);

// The end of a file of `fileSize` bytes, as endsInTrailer() looks at it; nothing on any error
// or an unexpected end.
template <typename Read>
std::optional<std::string> readEnd(const Read& read, int fd, off_t fileSize) {
    std::string end(static_cast<std::size_t>(std::min<off_t>(fileSize, kEndBytes)), '\0');
    if (!storage::transferAll(read, fd, end.data(), end.size(),
                              fileSize - static_cast<off_t>(end.size()))) {
        return std::nullopt;
    }
    return end;
}

TagRecord::Bytes lastBytesOf(std::string_view end) {
    TagRecord::Bytes last{};
    std::copy(end.end() - kTrailerSize, end.end(), last.begin());
    return last;
}

// Acts on the record of a save that was cut short of the file at `path`, which a reader holds
// open for reading as `readFd`, found to be `status`: opened for writing by the same rules as a
// save, and only when it is still that file. A file that may not be written is not: there the
// record is judged through `readFd`, and nothing changes.
storage::JournalRecovery finishInterruptedSaveOf(const core::FilePath& path,
                                                 const struct stat& status, int readFd) {
    constexpr mode_t kWritableByAnyone = S_IWUSR | S_IWGRP | S_IWOTH;
    if ((status.st_mode & kWritableByAnyone) == 0) {
        return finishInterruptedSave(readFd, {}, "the file is read-only");
    }
    const storage::OpenedFile opened = storage::openForSaving(path);
    const storage::FileDescriptor file(opened.fd);
    if (!file.valid()) {
        return finishInterruptedSave(readFd, {}, opened.reason);
    }
    if (opened.status.st_dev != status.st_dev || opened.status.st_ino != status.st_ino) {
        return finishInterruptedSave(readFd, {}, "the file was replaced while it was read");
    }
    return finishInterruptedSave(file.get(), {});
}

// Reads the trailer of a file opened as `opened`, recovering a save of it that was cut short
// first when `editing`.
TrailerRead readOpened(const core::FilePath& path, const storage::OpenedFile& opened,
                       bool editing) {
    TrailerRead result;
    const storage::FileDescriptor file(opened.fd);
    if (!file.valid()) {
        result.outcome =
            opened.notRegular ? TrailerRead::Outcome::NotAFile : TrailerRead::Outcome::Unreadable;
        result.reason = opened.reason;
        return result;
    }
    off_t size = opened.status.st_size;
    if (editing && storage::holdsJournal(file.get())) {
        result.recovery = finishInterruptedSaveOf(path, opened.status, file.get());
        struct stat status {};
        if (::fstat(file.get(), &status) == 0) {
            size = status.st_size;
        }
    }
    // Read through the same open file, so that a click opens it once.
    result.beginsWithId3v2Tag = beginsWithId3v2Tag(file.get());
    if (size < kTrailerSize) {
        result.outcome = TrailerRead::Outcome::NoTrailer;
        return result;
    }
    errno = 0;
    const std::optional<std::string> end = readEnd(::pread, file.get(), size);
    if (!end) {
        result.outcome = TrailerRead::Outcome::Unreadable;
        result.reason = errno != 0 ? storage::describeError(errno) : "the file became shorter";
        return result;
    }
    result.lastBytes = lastBytesOf(*end);
    result.outcome =
        endsInTrailer(*end) ? TrailerRead::Outcome::Trailer : TrailerRead::Outcome::NoTrailer;
    return result;
}

}  // namespace

bool endsInTrailer(std::string_view end) {
    constexpr std::string_view kApeMark = "APETAGEX";
    if (end.size() < TagRecord::kSize ||
        (end.size() >= kEndBytes && end.substr(end.size() - kEndBytes).starts_with(kApeMark))) {
        return false;
    }
    return TagRecord::decode(lastBytesOf(end)).hasTrailerMark();
}

TrailerChange trailerChange(int fd, off_t size, const EditedTag& edited,
                            const storage::SystemCalls& calls) {
    std::optional<TagRecord> inFile;
    if (size >= kTrailerSize) {
        errno = 0;
        const std::optional<std::string> end = readEnd(calls.pread, fd, size);
        if (!end) {
            // Unread, they could be a trailer that an append would leave in the middle.
            return {std::nullopt,
                    (errno != 0 ? storage::describeError(errno) : "the file became shorter") +
                        " while its last 128 bytes were read"};
        }
        if (endsInTrailer(*end)) {
            inFile = TagRecord::decode(lastBytesOf(*end));
        }
    }
    if (edited.shown && inFile && edited.shown->bytes != inFile->encode()) {
        return {std::nullopt,
                "it holds a tag that is not shown here; choose the file again to see it"};
    }
    const TagRecord::Bytes trailer = savedTrailer(edited, inFile);
    storage::ByteChange change{size, {}, std::string(trailer.begin(), trailer.end())};
    if (inFile) {
        change.offset = size - kTrailerSize;
        change.oldBytes.assign(inFile->encode().begin(), inFile->encode().end());
    }
    return {change, {}, trailer};
}

TrailerRead readTrailer(const core::FilePath& path) {
    return readOpened(path, storage::openRegularFile(path, O_RDONLY), false);
}

TrailerRead readTrailerForEditing(const core::FilePath& path) {
    return readOpened(path, storage::openRegularFile(path, O_RDONLY), true);
}

}  // namespace id3

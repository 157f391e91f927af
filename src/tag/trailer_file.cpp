#include "tag/trailer_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <optional>
#include <string_view>

#include "storage/file_access.h"
#include "tag/id3v2_file.h"

namespace id3 {

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
    return storage::transferAll(read, fd, first, static_cast<std::size_t>(end.length),
                                fileSize - end.length);
}

// Completes the write of a save that was cut short on the file at `path`, which a reader holds
// open as `status`: opened for writing by the same rules as a save, and only when it is still
// that file.
storage::JournalRecovery finishInterruptedWriteOf(const core::FilePath& path,
                                                  const struct stat& status,
                                                  const storage::SystemCalls& calls) {
    const storage::OpenedFile opened = storage::openForSaving(path);
    const storage::FileDescriptor file(opened.fd, calls.close);
    if (!file.valid()) {
        return {storage::JournalRecovery::Outcome::Failed,
                "a save that was cut short could not be finished: " + opened.reason};
    }
    if (opened.status.st_dev != status.st_dev || opened.status.st_ino != status.st_ino) {
        return {storage::JournalRecovery::Outcome::Failed,
                "a save that was cut short could not be finished: the file was replaced"};
    }
    return storage::finishInterruptedWrite(file.get(), calls);
}

}  // namespace

TrailerChange trailerChange(int fd, off_t size, const EditedTag& edited,
                            const storage::SystemCalls& calls) {
    std::optional<TagRecord> inFile;
    if (size >= kTrailerSize) {
        FileEnd end;
        errno = 0;
        if (!readEnd(calls.pread, fd, size, end)) {
            // Unread, they could be a trailer that an append would leave in the middle.
            return {std::nullopt,
                    (errno != 0 ? storage::describeError(errno) : "the file became shorter") +
                        " while its last 128 bytes were read"};
        }
        if (end.holdsTrailer()) {
            inFile = TagRecord::decode(end.lastBytes());
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
    TrailerRead result;
    storage::OpenedFile opened = storage::openRegularFile(path, O_RDONLY);
    storage::FileDescriptor file(opened.fd);
    if (!file.valid()) {
        result.outcome =
            opened.notRegular ? TrailerRead::Outcome::NotAFile : TrailerRead::Outcome::Unreadable;
        result.reason = opened.reason;
        return result;
    }
    off_t size = opened.status.st_size;
    // Only a file that holds the record of an interrupted save is opened for writing, to
    // complete that save; any other is only read.
    if (storage::holdsJournal(file.get())) {
        result.recovery = finishInterruptedWriteOf(path, opened.status, {});
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
    FileEnd end;
    errno = 0;
    if (!readEnd(::pread, file.get(), size, end)) {
        result.outcome = TrailerRead::Outcome::Unreadable;
        result.reason = errno != 0 ? storage::describeError(errno) : "the file became shorter";
        return result;
    }
    result.lastBytes = end.lastBytes();
    result.outcome =
        end.holdsTrailer() ? TrailerRead::Outcome::Trailer : TrailerRead::Outcome::NoTrailer;
    return result;
}

TrailerWrite writeTrailer(const core::FilePath& path, const EditedTag& edited,
                          const storage::SystemCalls& calls) {
    const storage::IgnoredSignal fileSizeLimitSignal(SIGXFSZ);
    storage::OpenedFile opened = storage::openForSaving(path);
    storage::FileDescriptor file(opened.fd, calls.close);
    if (!file.valid()) {
        return {false, opened.reason};
    }
    const storage::JournalRecovery recovery = storage::finishInterruptedWrite(file.get(), calls);
    if (recovery.outcome == storage::JournalRecovery::Outcome::Failed) {
        return {false, recovery.reason};
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return {false, storage::describeError(errno)};
    }
    const TrailerChange trailer = trailerChange(file.get(), status.st_size, edited, calls);
    if (!trailer.change) {
        return {false, trailer.reason};
    }
    const storage::JournaledWrite written = storage::writeJournaled(
        file.get(), {status.st_size, {*trailer.change}}, storage::WithoutRecord::Write, calls);
    // Once on disk, a failing close can lose nothing more.
    return {written.outcome == storage::JournaledWrite::Outcome::Written, written.reason,
            trailer.trailer};
}

}  // namespace id3

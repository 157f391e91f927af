#include "storage/write_journal.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <limits>

#include "storage/file_access.h"

namespace storage {

namespace {

// The record is kept short, its numbers written in 7-bit groups (LEB128), so that the record
// of a small change, such as one field of the trailer, fits in the room ext4 keeps for
// attributes inside the inode (56 bytes of value for this name): a record in a block of its
// own costs the file system that block's allocation and release, which made a save half as
// long again.
constexpr char kVersion = '\x01';
// More than any write of the program makes, few enough that a bad record stays cheap to read.
constexpr std::uint64_t kMostChanges = 16;
constexpr off_t kLargestOffset = std::numeric_limits<off_t>::max() / 2;

void putNumber(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>(0x80 | (value & 0x7f)));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

// Takes numbers and byte strings off the front of a record.
class RecordReader {
public:
    explicit RecordReader(std::string_view bytes) : rest_(bytes) {}

    std::optional<std::uint64_t> number() {
        std::uint64_t value = 0;
        for (int shift = 0; shift < 64 && !rest_.empty(); shift += 7) {
            const auto byte = static_cast<std::uint8_t>(rest_.front());
            rest_.remove_prefix(1);
            value |= std::uint64_t{byte & 0x7fU} << shift;
            if ((byte & 0x80) == 0) {
                return value;
            }
        }
        return std::nullopt;
    }
    std::optional<std::string_view> take(std::size_t size) {
        if (size > rest_.size()) {
            return std::nullopt;
        }
        const std::string_view taken = rest_.substr(0, size);
        rest_.remove_prefix(size);
        return taken;
    }
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

bool isAppend(const ByteChange& change) {
    return change.oldBytes.empty();
}

off_t sizeOf(const std::string& bytes) {
    return static_cast<off_t>(bytes.size());
}

// Whether `write` is one that this program makes: changes in order, none overlapping another,
// each replacing bytes of the old file by as many, or one appending at its end, last.
bool isWellFormed(const InPlaceWrite& write) {
    if (write.sizeBefore < 0 || write.sizeBefore > kLargestOffset || write.changes.empty()) {
        return false;
    }
    off_t end = 0;
    for (std::size_t i = 0; i < write.changes.size(); ++i) {
        const ByteChange& change = write.changes[i];
        const off_t size = sizeOf(change.newBytes);
        if (size == 0 || change.offset < end) {
            return false;
        }
        if (isAppend(change)) {
            if (change.offset != write.sizeBefore || i + 1 != write.changes.size()) {
                return false;
            }
        } else if (sizeOf(change.oldBytes) != size || change.offset > write.sizeBefore - size) {
            return false;
        }
        end = change.offset + size;
    }
    return true;
}

off_t sizeAfter(const InPlaceWrite& write) {
    const ByteChange& last = write.changes.back();
    return isAppend(last) ? last.offset + sizeOf(last.newBytes) : write.sizeBefore;
}

bool writeNewBytes(int fd, const InPlaceWrite& write, const SystemCalls& calls) {
    return std::all_of(write.changes.begin(), write.changes.end(), [&](const ByteChange& change) {
        return transferAll(calls.pwrite, fd, change.newBytes.data(), change.newBytes.size(),
                           change.offset);
    });
}

bool putOldBytesBack(int fd, const InPlaceWrite& write, const SystemCalls& calls) {
    return std::all_of(write.changes.rbegin(), write.changes.rend(), [&](const ByteChange& change) {
        return isAppend(change) ? calls.ftruncate(fd, write.sizeBefore) == 0
                                : transferAll(calls.pwrite, fd, change.oldBytes.data(),
                                              change.oldBytes.size(), change.offset);
    });
}

// `change` from its first byte that differs to its last; an append stays whole.
ByteChange narrowed(const ByteChange& change) {
    if (isAppend(change)) {
        return change;
    }
    const std::string& before = change.oldBytes;
    const std::string& after = change.newBytes;
    std::size_t first = 0;
    while (first < before.size() && before[first] == after[first]) {
        ++first;
    }
    std::size_t end = before.size();
    while (end > first && before[end - 1] == after[end - 1]) {
        --end;
    }
    return {change.offset + static_cast<off_t>(first), before.substr(first, end - first),
            after.substr(first, end - first)};
}

InPlaceWrite narrowed(const InPlaceWrite& write) {
    InPlaceWrite changed{write.sizeBefore, {}};
    for (const ByteChange& change : write.changes) {
        ByteChange span = narrowed(change);
        if (!span.newBytes.empty()) {
            changed.changes.push_back(std::move(span));
        }
    }
    return changed;
}

// Where the file system keeps no extended attributes at all, or none as large as the record.
bool cannotHoldRecord(int error) {
    return error == ENOTSUP || error == EOPNOTSUPP || error == E2BIG || error == ENOSPC ||
           error == EDQUOT || error == ERANGE;
}

// Whether the file of `size` bytes is one that `write` may have left, at any point of it;
// nothing when its bytes could not be read.
std::optional<bool> fitsFile(int fd, const InPlaceWrite& write, off_t size,
                             const SystemCalls& calls) {
    if (size < write.sizeBefore || size > sizeAfter(write)) {
        return false;
    }
    for (const ByteChange& change : write.changes) {
        const off_t present = std::min(size - change.offset, sizeOf(change.newBytes));
        std::string inFile(static_cast<std::size_t>(present), '\0');
        if (!transferAll(calls.pread, fd, inFile.data(), inFile.size(), change.offset)) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < inFile.size(); ++i) {
            if (inFile[i] != change.newBytes[i] &&
                (isAppend(change) || inFile[i] != change.oldBytes[i])) {
                return false;
            }
        }
    }
    return true;
}

const std::string kCutShort = "a save that was cut short";

JournalRecovery couldNotFinish(int error) {
    return {JournalRecovery::Outcome::Failed,
            kCutShort + " could not be finished: " + describeError(error)};
}

JournalRecovery discardRecord(int fd, const SystemCalls& calls, const std::string& why) {
    if (calls.fremovexattr(fd, kJournalAttribute) != 0 && errno != ENODATA) {
        return couldNotFinish(errno);
    }
    return {JournalRecovery::Outcome::Discarded,
            "the record of " + kCutShort + " " + why +
                ", so it was removed and the file left as it is"};
}

}  // namespace

std::optional<std::string> readAttribute(int fd, const char* name, const SystemCalls& calls) {
    for (;;) {
        const ssize_t size = calls.fgetxattr(fd, name, nullptr, 0);
        if (size < 0) {
            return std::nullopt;
        }
        std::string value(static_cast<std::size_t>(size), '\0');
        const ssize_t read = calls.fgetxattr(fd, name, value.data(), value.size());
        if (read >= 0) {
            value.resize(static_cast<std::size_t>(read));
            return value;
        }
        if (errno != ERANGE) {  // ERANGE: it grew between the two calls
            return std::nullopt;
        }
    }
}

std::string encodeWrite(const InPlaceWrite& write) {
    std::string record(1, kVersion);
    putNumber(record, static_cast<std::uint64_t>(write.sizeBefore));
    putNumber(record, write.changes.size());
    for (const ByteChange& change : write.changes) {
        putNumber(record, static_cast<std::uint64_t>(change.offset));
        putNumber(record, change.oldBytes.size());
        putNumber(record, change.newBytes.size());
        record += change.oldBytes;
        record += change.newBytes;
    }
    return record;
}

std::optional<InPlaceWrite> decodeWrite(std::string_view bytes) {
    RecordReader reader(bytes);
    const std::optional<std::string_view> version = reader.take(1);
    const std::optional<std::uint64_t> sizeBefore = reader.number();
    const std::optional<std::uint64_t> count = reader.number();
    if (version != std::string_view(&kVersion, 1) || !sizeBefore ||
        *sizeBefore > std::uint64_t{kLargestOffset} || !count || *count > kMostChanges) {
        return std::nullopt;
    }
    InPlaceWrite write{static_cast<off_t>(*sizeBefore), {}};
    for (std::uint64_t i = 0; i < *count; ++i) {
        const std::optional<std::uint64_t> offset = reader.number();
        const std::optional<std::uint64_t> oldSize = reader.number();
        const std::optional<std::uint64_t> newSize = reader.number();
        if (!offset || *offset > std::uint64_t{kLargestOffset} || !oldSize || !newSize) {
            return std::nullopt;
        }
        const std::optional<std::string_view> oldBytes = reader.take(*oldSize);
        const std::optional<std::string_view> newBytes = reader.take(*newSize);
        if (!oldBytes || !newBytes) {
            return std::nullopt;
        }
        write.changes.push_back(
            {static_cast<off_t>(*offset), std::string(*oldBytes), std::string(*newBytes)});
    }
    if (!reader.atEnd() || !isWellFormed(write)) {
        return std::nullopt;
    }
    return write;
}

JournaledWrite writeJournaled(int fd, const InPlaceWrite& whole, WithoutRecord withoutRecord,
                              const SystemCalls& calls) {
    using Outcome = JournaledWrite::Outcome;
    const InPlaceWrite write = narrowed(whole);
    if (write.changes.empty()) {
        return calls.fdatasync(fd) == 0 ? JournaledWrite{Outcome::Written, {}}
                                        : JournaledWrite{Outcome::NotWritten, describeError(errno)};
    }
    const std::string record = encodeWrite(write);
    const bool recorded =
        calls.fsetxattr(fd, kJournalAttribute, record.data(), record.size(), 0) == 0;
    if (!recorded) {
        const int error = errno;
        if (!cannotHoldRecord(error)) {
            return {Outcome::NotWritten, describeError(error)};
        }
        if (withoutRecord == WithoutRecord::Refuse) {
            return {Outcome::NoRecord, describeError(error)};
        }
    }
    // A kill alone needs no flush here: the record is in the kernel once fsetxattr returns,
    // and the kernel outlives the process. A power loss does: without it the bytes written
    // next may reach the disk before the record, and a loss between the two would leave them
    // torn with nothing to complete them. fdatasync would not do, since the record is no part
    // of the file's data. It is one more flush of the disk's cache on every save, which makes a
    // save of the trailer about 1.6 times as long as the bare write and flush (45 of 120 µs
    // on the machine of the README's speed table).
    if (recorded && calls.fsync(fd) != 0) {
        const int error = errno;
        calls.fremovexattr(fd, kJournalAttribute);
        return {Outcome::NotWritten, describeError(error)};
    }
    errno = 0;
    if (writeNewBytes(fd, write, calls) && calls.fdatasync(fd) == 0) {
        // A record that stays behind (the removal failed, or a kill came first) only makes
        // the next open write the same bytes once more.
        if (recorded) {
            calls.fremovexattr(fd, kJournalAttribute);
        }
        return {Outcome::Written, {}};
    }
    std::string reason = describeError(errno != 0 ? errno : EIO);
    if (putOldBytesBack(fd, write, calls) && calls.fdatasync(fd) == 0) {
        if (recorded) {
            calls.fremovexattr(fd, kJournalAttribute);
        }
    } else {
        reason += recorded ? ", and the file could not be put back as it was: choosing it again "
                             "finishes the save"
                           : ", and the file could not be put back as it was: it may hold an "
                             "incomplete tag";
    }
    return {Outcome::NotWritten, reason};
}

bool holdsJournal(int fd) {
    return ::fgetxattr(fd, kJournalAttribute, nullptr, 0) >= 0;
}

JournalRecovery finishInterruptedWrite(int fd, const SystemCalls& calls) {
    errno = 0;
    const std::optional<std::string> record = readAttribute(fd, kJournalAttribute, calls);
    if (!record) {
        return errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP ? JournalRecovery{}
                                                                           : couldNotFinish(errno);
    }
    const std::optional<InPlaceWrite> write = decodeWrite(*record);
    if (!write) {
        return discardRecord(fd, calls, "could not be read");
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return couldNotFinish(errno);
    }
    errno = 0;
    const std::optional<bool> fits = fitsFile(fd, *write, status.st_size, calls);
    if (!fits) {
        return couldNotFinish(errno != 0 ? errno : EIO);
    }
    if (!*fits) {
        return discardRecord(fd, calls, "does not fit the file");
    }
    const IgnoredSignal fileSizeLimitSignal(SIGXFSZ);
    errno = 0;
    if ((status.st_size != write->sizeBefore && calls.ftruncate(fd, write->sizeBefore) != 0) ||
        !writeNewBytes(fd, *write, calls) || calls.fdatasync(fd) != 0) {
        return couldNotFinish(errno != 0 ? errno : EIO);
    }
    calls.fremovexattr(fd, kJournalAttribute);
    return {JournalRecovery::Outcome::Finished, kCutShort + " was finished"};
}

}  // namespace storage

#include "storage/write_journal.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <limits>

#include "storage/file_access.h"

namespace storage {

namespace {

// The record is kept short, its numbers written in 7-bit groups (LEB128) and each offset as
// its distance from the end of the file before the write, so that the record of a small change
// near the end, such as one field of a file's last bytes, fits in the room ext4 keeps for
// attributes inside the inode (56 bytes of value for this name): a record in a block of its own
// costs the file system that block's allocation and release, which made a write half as long
// again.
constexpr char kVersion = '\x02';
// The first bytes of a SHA-256: enough that a damaged record is never taken for a whole one.
constexpr std::size_t kDigestSize = 8;
// More than any write of the program makes, few enough that a bad record stays cheap to read.
constexpr std::size_t kMostChanges = 16;
constexpr off_t kLargestOffset = std::numeric_limits<off_t>::max() / 2;

void putNumber(std::string& out, std::uint64_t value) {
    while (value >= 0x80) {
        out.push_back(static_cast<char>(0x80 | (value & 0x7f)));
        value >>= 7;
    }
    out.push_back(static_cast<char>(value));
}

std::string digestOf(std::string_view bytes) {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                 QCryptographicHash::Sha256);
    return digest.left(kDigestSize).toStdString();
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
    std::optional<std::string_view> take(std::uint64_t size) {
        if (size > rest_.size()) {
            return std::nullopt;
        }
        const std::string_view taken = rest_.substr(0, static_cast<std::size_t>(size));
        rest_.remove_prefix(taken.size());
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
    if (write.sizeBefore < 0 || write.sizeBefore > kLargestOffset || write.changes.empty() ||
        write.changes.size() > kMostChanges) {
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

// Whether the open file still has the size before `write` and holds every byte that `write`
// replaces; nothing when it could not be read.
std::optional<bool> holdsBytesToReplace(int fd, const InPlaceWrite& write,
                                        const SystemCalls& calls) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return std::nullopt;
    }
    if (status.st_size != write.sizeBefore) {
        return false;
    }
    std::string inFile;
    for (const ByteChange& change : write.changes) {
        if (isAppend(change)) {
            continue;
        }
        inFile.resize(change.oldBytes.size());
        if (!transferAll(calls.pread, fd, inFile.data(), inFile.size(), change.offset)) {
            return std::nullopt;
        }
        if (inFile != change.oldBytes) {
            return false;
        }
    }
    return true;
}

// How far the interrupted `write` got in the open file of `size` bytes, as its bytes tell, where
// the size lies between the sizes before and after it.
enum class Progress {
    NotMadeByIt,  // a byte that is neither its old nor its new value
    NotBegun,     // every byte still holds its old value
    Begun,        // some hold their new value, the others their old one
};

// Nothing when the file's bytes could not be read.
std::optional<Progress> progressOf(int fd, const InPlaceWrite& write, off_t size,
                                   const SystemCalls& calls) {
    bool begun = size > write.sizeBefore;
    for (const ByteChange& change : write.changes) {
        const off_t present = std::clamp<off_t>(size - change.offset, 0, sizeOf(change.newBytes));
        std::string inFile(static_cast<std::size_t>(present), '\0');
        if (!transferAll(calls.pread, fd, inFile.data(), inFile.size(), change.offset)) {
            return std::nullopt;
        }
        for (std::size_t i = 0; i < inFile.size(); ++i) {
            const bool isNew = inFile[i] == change.newBytes[i];
            const bool isOld = !isAppend(change) && inFile[i] == change.oldBytes[i];
            if (!isNew && !isOld) {
                return Progress::NotMadeByIt;
            }
            begun = begun || (isNew && !isOld);
        }
    }
    return begun ? Progress::Begun : Progress::NotBegun;
}

const std::string kCutShort = "a save that was cut short";

JournalRecovery couldNotFinish(const std::string& why) {
    return {JournalRecovery::Outcome::Failed, kCutShort + " could not be finished: " + why};
}

JournalRecovery couldNotFinish(int error) {
    return couldNotFinish(describeError(error != 0 ? error : EIO));
}

// Removes the record, where the file may be written, and leaves the file as it is.
JournalRecovery discardRecord(int fd, const SystemCalls& calls, const std::string& whyReadOnly,
                              const std::string& why) {
    const bool removed =
        whyReadOnly.empty() && (calls.fremovexattr(fd, kJournalAttribute) == 0 || errno == ENODATA);
    return {JournalRecovery::Outcome::Discarded,
            "the record of " + kCutShort + " " + why + ", so it was " +
                (removed ? "removed" : "ignored") + " and the file left as it is"};
}

}  // namespace

FileIdentity identityOf(const struct stat& status) {
    return {status.st_dev, status.st_ino};
}

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

std::string encodeRecord(const JournalRecord& record) {
    const InPlaceWrite& write = record.write;
    std::string bytes(1, kVersion);
    putNumber(bytes, record.file.device);
    putNumber(bytes, record.file.inode);
    putNumber(bytes, static_cast<std::uint64_t>(write.sizeBefore));
    for (const ByteChange& change : write.changes) {
        putNumber(bytes, static_cast<std::uint64_t>(write.sizeBefore - change.offset));
        putNumber(bytes, change.oldBytes.size());
        if (isAppend(change)) {
            putNumber(bytes, change.newBytes.size());
        }
        bytes += change.oldBytes;
        bytes += change.newBytes;
    }
    return bytes + digestOf(bytes);
}

std::optional<JournalRecord> decodeRecord(std::string_view bytes) {
    if (bytes.size() <= kDigestSize) {
        return std::nullopt;
    }
    const std::string_view body = bytes.substr(0, bytes.size() - kDigestSize);
    if (digestOf(body) != bytes.substr(body.size())) {
        return std::nullopt;
    }
    RecordReader reader(body);
    const std::optional<std::string_view> version = reader.take(1);
    const std::optional<std::uint64_t> device = reader.number();
    const std::optional<std::uint64_t> inode = reader.number();
    const std::optional<std::uint64_t> sizeBefore = reader.number();
    if (version != std::string_view(&kVersion, 1) || !device || !inode || !sizeBefore ||
        *sizeBefore > std::uint64_t{kLargestOffset}) {
        return std::nullopt;
    }
    JournalRecord record{{static_cast<dev_t>(*device), static_cast<ino_t>(*inode)},
                         {static_cast<off_t>(*sizeBefore), {}}};
    while (!reader.atEnd() && record.write.changes.size() < kMostChanges) {
        const std::optional<std::uint64_t> distance = reader.number();
        const std::optional<std::uint64_t> oldSize = reader.number();
        const std::optional<std::uint64_t> newSize =
            oldSize == std::uint64_t{0} ? reader.number() : oldSize;
        if (!distance || *distance > *sizeBefore || !oldSize || !newSize) {
            return std::nullopt;
        }
        const std::optional<std::string_view> oldBytes = reader.take(*oldSize);
        const std::optional<std::string_view> newBytes = reader.take(*newSize);
        if (!oldBytes || !newBytes) {
            return std::nullopt;
        }
        record.write.changes.push_back({static_cast<off_t>(*sizeBefore - *distance),
                                        std::string(*oldBytes), std::string(*newBytes)});
    }
    if (!reader.atEnd() || !isWellFormed(record.write)) {
        return std::nullopt;
    }
    return record;
}

JournaledWrite writeJournaled(int fd, const FileIdentity& file, const InPlaceWrite& whole,
                              WithoutRecord withoutRecord, const SystemCalls& calls) {
    using Outcome = JournaledWrite::Outcome;
    const auto compared = [&]() -> std::optional<JournaledWrite> {
        errno = 0;
        const std::optional<bool> unchanged = holdsBytesToReplace(fd, whole, calls);
        if (!unchanged) {
            return JournaledWrite{Outcome::NotWritten, describeError(errno != 0 ? errno : EIO)};
        }
        if (!*unchanged) {
            return JournaledWrite{Outcome::Changed, std::string(kChangedMeanwhile)};
        }
        return std::nullopt;
    };
    const InPlaceWrite write = narrowed(whole);
    if (write.changes.empty()) {
        if (std::optional<JournaledWrite> refused = compared()) {
            return *refused;
        }
        return calls.fdatasync(fd) == 0 ? JournaledWrite{Outcome::Written, {}}
                                        : JournaledWrite{Outcome::NotWritten, describeError(errno)};
    }
    const std::string record = encodeRecord({file, write});
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
    // of the file's data. It is one more flush of the disk's cache on every write in place.
    if (recorded && calls.fsync(fd) != 0) {
        const int error = errno;
        calls.fremovexattr(fd, kJournalAttribute);
        return {Outcome::NotWritten, describeError(error)};
    }
    // The file is compared after the flush, the slow part, so that as little time as possible
    // lies between the comparison and the write.
    if (std::optional<JournaledWrite> refused = compared()) {
        if (recorded) {
            calls.fremovexattr(fd, kJournalAttribute);
        }
        return *refused;
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
    const bool putBack = putOldBytesBack(fd, write, calls);
    // Put back but not flushed, the record stays for a power loss; the next open finds every
    // byte old and removes it.
    if (putBack && calls.fdatasync(fd) == 0 && recorded) {
        calls.fremovexattr(fd, kJournalAttribute);
    }
    if (!putBack) {
        reason += recorded ? ", and the file could not be put back as it was: choosing it again "
                             "finishes the save"
                           : ", and the file could not be put back as it was: it may be left "
                             "half-written";
    }
    return {Outcome::NotWritten, reason};
}

bool holdsJournal(int fd) {
    return ::fgetxattr(fd, kJournalAttribute, nullptr, 0) >= 0;
}

JournalRecovery finishInterruptedWrite(int fd, const WriteCheck& isOwnWrite,
                                       const SystemCalls& calls, const std::string& whyReadOnly) {
    errno = 0;
    const std::optional<std::string> recorded = readAttribute(fd, kJournalAttribute, calls);
    if (!recorded) {
        return errno == ENODATA || errno == ENOTSUP || errno == EOPNOTSUPP ? JournalRecovery{}
                                                                           : couldNotFinish(errno);
    }
    const auto discard = [&](const std::string& why) {
        return discardRecord(fd, calls, whyReadOnly, why);
    };
    const std::optional<JournalRecord> record = decodeRecord(*recorded);
    if (!record) {
        return discard("could not be read");
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return couldNotFinish(errno);
    }
    if (record->file != identityOf(status)) {
        return discard("belongs to another file, from which it was copied");
    }
    const InPlaceWrite& write = record->write;
    if (status.st_size < write.sizeBefore || status.st_size > sizeAfter(write)) {
        return discard("does not fit the file");
    }
    errno = 0;
    const std::optional<bool> ownWrite = isOwnWrite(fd, write);
    if (!ownWrite) {
        return couldNotFinish(errno);
    }
    if (!*ownWrite) {
        return discard("would change what no save of this program changes");
    }
    errno = 0;
    const std::optional<Progress> progress = progressOf(fd, write, status.st_size, calls);
    if (!progress) {
        return couldNotFinish(errno);
    }
    switch (*progress) {
        case Progress::NotMadeByIt:
            return discard("does not fit the file");
        case Progress::NotBegun:
            return discard("had changed nothing yet");
        case Progress::Begun:
            break;
    }
    if (!whyReadOnly.empty()) {
        return couldNotFinish(whyReadOnly);
    }
    const IgnoredSignal fileSizeLimitSignal(SIGXFSZ);
    errno = 0;
    if ((status.st_size != write.sizeBefore && calls.ftruncate(fd, write.sizeBefore) != 0) ||
        !writeNewBytes(fd, write, calls) || calls.fdatasync(fd) != 0) {
        return couldNotFinish(errno);
    }
    calls.fremovexattr(fd, kJournalAttribute);
    return {JournalRecovery::Outcome::Finished, kCutShort + " was finished"};
}

}  // namespace storage

#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/system_calls.h"

namespace storage {

// The extended attribute of a file that holds the record of an in-place write while it is
// under way.
inline constexpr const char* kJournalAttribute = "user.mp3player.write";

// A span of a file that a write changes: `oldBytes` at `offset` become `newBytes` of the same
// length; or, when `oldBytes` is empty and `offset` is the file's size, `newBytes` are appended.
struct ByteChange {
    off_t offset = 0;
    std::string oldBytes;
    std::string newBytes;
};

// One write in place: the file's size before it and its changes, in the order of their
// offsets and none overlapping another; an append comes last.
struct InPlaceWrite {
    off_t sizeBefore = 0;
    std::vector<ByteChange> changes;
};

// Which file a record belongs to. A copy of the file (cp -a, tar --xattrs, rsync -X) takes the
// record along but is another inode.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;

    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

FileIdentity identityOf(const struct stat& status);

// What the journal keeps of a write: the file it belongs to and the write itself.
struct JournalRecord {
    FileIdentity file;
    InPlaceWrite write;
};

// The form in which the journal keeps a record, and back. The form ends in a digest of all that
// comes before it, old and new bytes included, so that a record damaged or altered since it was
// made reads as none: nothing when `bytes` hold no record that this program could have made.
std::string encodeRecord(const JournalRecord& record);
std::optional<JournalRecord> decodeRecord(std::string_view bytes);

// Whether a write may go ahead without its record where the file system keeps none (FAT,
// some network shares) or none this large.
enum class WithoutRecord { Write, Refuse };

// Why a write in place was refused when the file no longer held the bytes it was to replace.
inline constexpr std::string_view kChangedMeanwhile =
    "another program changed the file while it was saved";

struct JournaledWrite {
    enum class Outcome {
        Written,     // on disk
        NotWritten,  // failed; `reason` says why, and when the file could not be put back
        NoRecord,    // refused, since the file system cannot keep the record; nothing changed
        Changed,     // refused, since the file no longer held the bytes to be replaced, or had
                     // another size: another program changed it. Nothing was written.
    };
    Outcome outcome = Outcome::NotWritten;
    std::string reason;
};

// Makes `write`'s changes to the open file `fd`, which is `file`, so that a kill or a power loss at
// any moment leaves either the file as it was, the file as written, or the record by which the next
// open (finishInterruptedWrite) completes the write. The record goes into kJournalAttribute in one
// call, and is flushed, before the first byte changes; then, just before the write and through
// the same descriptor, the file's size and every byte that `write` replaces are read back and
// compared with what `write` says they are, and on any difference nothing is written. Only the
// span of each replace from the first byte that differs to the last is written, so that the
// record stays small. The record is removed once the bytes are on disk. A failed write is
// undone: appended bytes are cut off, replaced ones put back.
JournaledWrite writeJournaled(int fd, const FileIdentity& file, const InPlaceWrite& write,
                              WithoutRecord withoutRecord, const SystemCalls& calls = {});

// Whether the caller's own writes could have made `write` to the open file `fd` as the file
// stands now, so that a record of it may be acted on; nothing when the file could not be read.
using WriteCheck = std::function<std::optional<bool>(int fd, const InPlaceWrite& write)>;

struct JournalRecovery {
    enum class Outcome {
        NoRecord,   // no write was interrupted
        Finished,   // an interrupted write was completed and its record removed
        Discarded,  // a record that is not to be acted on, or that changed nothing yet, was
                    // removed (or, on a file that may not be written, ignored), and the file
                    // left as it is
        Failed,     // a write that had begun could not be completed: the file may hold it half
                    // done, and its record stays
    };
    Outcome outcome = Outcome::NoRecord;
    std::string reason;  // what happened, for every outcome but NoRecord
};

// Whether the open file, read-only or not, holds the record of an interrupted write.
bool holdsJournal(int fd);

// The value of the open file's extended attribute `name`; nothing when it has none or it
// cannot be read.
std::optional<std::string> readAttribute(int fd, const char* name, const SystemCalls& calls);

// Completes the write that a kill or a power loss interrupted, when the open file `fd` holds its
// record: the user asked for it. The record is acted on only when it could have been made by the
// caller's own write to this file, as it stands now: it is whole, it names this file's device
// and inode, `isOwnWrite` accepts it, the file's size lies between the sizes before and after the
// write, each changed byte is its old or its new value, as a torn write leaves them, and some
// already hold their new value: a record whose bytes all still hold their old value changed
// nothing, and a restored copy of the file must stay as it is. Any other record is removed and
// the file is not touched. With `whyReadOnly`, `fd` is open for reading only: the record is
// judged, but nothing is changed.
JournalRecovery finishInterruptedWrite(int fd, const WriteCheck& isOwnWrite,
                                       const SystemCalls& calls = {},
                                       const std::string& whyReadOnly = {});

}  // namespace storage

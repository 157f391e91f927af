#pragma once

#include <sys/types.h>

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

// The form in which the journal keeps a write, and back: nothing when `bytes` hold no write
// that this program could have made.
std::string encodeWrite(const InPlaceWrite& write);
std::optional<InPlaceWrite> decodeWrite(std::string_view bytes);

// Whether a write may go ahead without its record where the file system keeps none (FAT,
// some network shares) or none this large.
enum class WithoutRecord { Write, Refuse };

struct JournaledWrite {
    enum class Outcome {
        Written,     // on disk
        NotWritten,  // failed; `reason` says why, and when the file could not be put back
        NoRecord,    // refused, since the file system cannot keep the record; nothing changed
    };
    Outcome outcome = Outcome::NotWritten;
    std::string reason;
};

// Makes `write`'s changes to the open file `fd` so that a kill or a power loss at any moment
// leaves either the file as it was, the file as written, or the record by which the next open
// (finishInterruptedWrite) completes the write. Only the span of each replace from the first
// byte that differs to the last is written, so that the record stays small. The record goes
// into kJournalAttribute in one call before the first byte changes and is removed once the
// bytes are on disk. A failed write is undone: appended bytes are cut off, replaced ones put
// back.
JournaledWrite writeJournaled(int fd, const InPlaceWrite& write, WithoutRecord withoutRecord,
                              const SystemCalls& calls = {});

struct JournalRecovery {
    enum class Outcome {
        NoRecord,   // no write was interrupted
        Finished,   // an interrupted write was completed and its record removed
        Discarded,  // a record that could not be read or does not fit the file was removed,
                    // and the file left as it is
        Failed,     // the interrupted write could not be completed; its record stays
    };
    Outcome outcome = Outcome::NoRecord;
    std::string reason;  // what happened, for every outcome but NoRecord
};

// Whether the open file, read-only or not, holds the record of an interrupted write.
bool holdsJournal(int fd);

// The value of the open file's extended attribute `name`; nothing when it has none or it
// cannot be read.
std::optional<std::string> readAttribute(int fd, const char* name, const SystemCalls& calls);

// Completes the write that a kill or a power loss interrupted, when the open file `fd` holds
// its record: the user asked for it. Before writing, the record is held against the file:
// its size must lie between the sizes before and after the write, and each changed byte must
// be its old or its new value, as a torn write leaves them.
JournalRecovery finishInterruptedWrite(int fd, const SystemCalls& calls = {});

}  // namespace storage

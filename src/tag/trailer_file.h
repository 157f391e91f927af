#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_path.h"
#include "storage/system_calls.h"
#include "storage/write_journal.h"
#include "tag/saved_trailer.h"
#include "tag/tag_record.h"

namespace id3 {

struct TrailerRead {
    enum class Outcome {
        Trailer,     // the last 128 bytes begin with "TAG", which is not part of "APETAGEX"
        NoTrailer,   // a regular file whose last 128 bytes (or all of it) hold no trailer
        NotAFile,    // a folder, FIFO, device or socket, refused without waiting on it
        Unreadable,  // missing, or the open or the read failed
    };
    Outcome outcome = Outcome::Unreadable;
    TagRecord::Bytes lastBytes{};     // the file's last 128 bytes when it has at least 128
    bool beginsWithId3v2Tag = false;  // whether a regular file begins with an ID3v2 tag
    std::string reason;               // why, for NotAFile and Unreadable
    // What became of a save that a kill or power loss cut short (readTrailerForEditing only).
    storage::JournalRecovery recovery;
};

// Reads the last 128 bytes of the file at `path`. "TAG" there is no trailer when the 3 bytes
// before it make it "APETAGEX", the mark of an APEv2 tag: other tag tools read it so too.
// Opens the file for reading only: never creates, changes or blocks on a file, and leaves the
// record of an interrupted save as it is, so that what only looks at a file (the desktop's
// media panel, a tooltip) never writes to it.
TrailerRead readTrailer(const core::FilePath& path);

// The same for a file the user chose to edit: first acts on the record of a save of it that a
// kill or power loss cut short (finishInterruptedSave) and says what became of it. Only a file
// that holds such a record is opened for writing, by the same rules as a save; one that may
// not be written (a read-only disk or file) is only read, and its record judged.
TrailerRead readTrailerForEditing(const core::FilePath& path);

// How many bytes at a file's end tell whether it ends in a trailer: the last 128, and the 3
// before them, since "TAG" 128 bytes from the end is no trailer when it is the middle of
// "APETAGEX", the mark of an APEv2 tag that begins 131 bytes from the end.
inline constexpr std::size_t kEndBytes = TagRecord::kSize + 3;

// Whether a file whose last bytes are `end` (its last kEndBytes, or all of it when it is
// shorter) ends in a trailer.
bool endsInTrailer(std::string_view end);

// The change a save makes to the end of the open file `fd` of `size` bytes to put the trailer
// `savedTrailer` makes of `edited` there: over its last 128 bytes when they hold a trailer at
// this moment, else after its last byte, so no audio byte is overwritten. Nothing, and the
// reason, when those bytes could not be read or hold a trailer other than the one the edit
// began from (EditedTag::shown).
struct TrailerChange {
    std::optional<storage::ByteChange> change;
    std::string reason;
    TagRecord::Bytes trailer{};  // the whole trailer the change leaves at the end
};
TrailerChange trailerChange(int fd, off_t size, const EditedTag& edited,
                            const storage::SystemCalls& calls);

}  // namespace id3

#pragma once

#include <optional>
#include <string>

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
    TagRecord::Bytes lastBytes{};       // the file's last 128 bytes when it has at least 128
    bool beginsWithId3v2Tag = false;    // whether a regular file begins with an ID3v2 tag
    std::string reason;                 // why, for NotAFile and Unreadable
    storage::JournalRecovery recovery;  // what became of a save that a kill or power loss cut short
};

// Reads the last 128 bytes of the file at `path`. "TAG" there is no trailer when the 3 bytes
// before it make it "APETAGEX", the mark of an APEv2 tag: other tag tools read it so too.
// Never creates or blocks on a file, and changes one only to complete a save that a kill or
// power loss cut short (see write_journal.h): only then is it opened for writing, by the same
// rules as a save.
TrailerRead readTrailer(const core::FilePath& path);

struct TrailerWrite {
    bool saved = false;
    std::string reason;          // why not, when not saved
    TagRecord::Bytes written{};  // the trailer now in the file, when saved
};

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

// Puts the trailer of `edited` at the end of the regular file at `path` (see trailerChange),
// through the journal of write_journal.h, after completing any save of the file that was cut
// short. Never creates a file, and refuses a link whose final target has no MP3 name, since
// that file may be anything. Counts as saved only once the bytes are on disk; a failed append
// is cut off again and a failed overwrite puts the old trailer back, and when that fails too
// the reason says so. Where the file system keeps no record of the write (FAT, some network
// shares) it is made all the same, as safe from a failing disk but not from a kill. Writing
// past the file-size limit fails with a reason instead of ending the program.
TrailerWrite writeTrailer(const core::FilePath& path, const EditedTag& edited,
                          const storage::SystemCalls& calls = {});

}  // namespace id3

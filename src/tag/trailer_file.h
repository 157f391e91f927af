#pragma once

#include <string>

#include "tag/saved_trailer.h"
#include "tag/tag_record.h"
#include "tag/writer_system_calls.h"

namespace tag {

struct TrailerRead {
    enum class Outcome {
        Trailer,     // the last 128 bytes begin with "TAG", which is not part of "APETAGEX"
        NoTrailer,   // a regular file whose last 128 bytes (or all of it) hold no trailer
        NotAFile,    // a folder, FIFO, device or socket, refused without waiting on it
        Unreadable,  // missing, or the open or the read failed
    };
    Outcome outcome = Outcome::Unreadable;
    TagRecord::Bytes lastBytes{};  // the file's last 128 bytes when it has at least 128
    std::string reason;            // why, for NotAFile and Unreadable
};

// Reads the last 128 bytes of the file at `path`. "TAG" there is no trailer when the 3 bytes
// before it make it "APETAGEX", the mark of an APEv2 tag: other tag tools read it so too.
// Never creates, changes or blocks on a file.
TrailerRead readTrailer(const std::string& path);

struct TrailerWrite {
    bool saved = false;
    std::string reason;  // why not, when not saved
};

// Puts the trailer `savedTrailer` makes of `edited` at the end of the regular file at `path`:
// over its last 128 bytes when they hold a trailer at this moment, else after its last byte,
// so no audio byte is overwritten. Never creates a file, and refuses a link whose final target
// has no MP3 name, since that file may be anything. Counts as saved only once the bytes are on
// disk; a failed append is cut off again and a failed overwrite puts the old trailer back, and
// when that fails too the reason says the file may now end in an incomplete tag. Writing past
// the file-size limit fails with a reason instead of ending the program.
TrailerWrite writeTrailer(const std::string& path, const EditedTag& edited,
                          const WriterSystemCalls& calls = {});

}  // namespace tag

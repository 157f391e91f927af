#pragma once

#include <string>

#include "tag/tag_record.h"

namespace tag {

struct TrailerRead {
    enum class Outcome {
        Trailer,     // the last 128 bytes begin with "TAG"
        NoTrailer,   // a regular file whose last 128 bytes (or all of it) hold no trailer
        NotAFile,    // a folder, FIFO, device or socket, refused without waiting on it
        Unreadable,  // missing, or the open or the read failed
    };
    Outcome outcome = Outcome::Unreadable;
    TagRecord::Bytes lastBytes{};  // the file's last 128 bytes when it has at least 128
    std::string reason;            // why, for NotAFile and Unreadable
};

// Reads the last 128 bytes of the file at `path`. Never creates, changes or blocks on a file.
TrailerRead readTrailer(const std::string& path);

struct TrailerWrite {
    bool saved = false;
    std::string reason;  // why not, when not saved
};

// Puts `trailer` at the end of the regular file at `path`: over its last 128 bytes when they
// begin with "TAG" at this moment, else after its last byte, so no audio byte is overwritten.
// Never creates a file. Counts as saved only once the bytes are on disk; a failed append is
// cut off again, and a failed overwrite puts the old trailer back where it can.
TrailerWrite writeTrailer(const std::string& path, const TagRecord::Bytes& trailer);

}  // namespace tag

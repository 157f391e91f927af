#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_path.h"
#include "storage/system_calls.h"
#include "tag/saved_trailer.h"
#include "tag/tag_record.h"

namespace id3 {

// Given the ID3v2 tag the file begins with at the moment of saving, all its bytes (header,
// frames, padding and any footer), the tag to put in its place; nothing to leave it as it is.
// Of a tag whose size runs past the audio's end, it is given the bytes up to there, and what
// it makes of them is not written. An empty update leaves every ID3v2 tag as it is.
using Id3v2Update = std::function<std::optional<std::string>(std::string_view tagInFile)>;

struct TrailerWrite {
    bool saved = false;
    std::string reason;          // why not, when not saved
    TagRecord::Bytes written{};  // the trailer now in the file, when saved
};

struct TagsWrite {
    enum class Id3v2 {
        None,       // the file begins with no ID3v2 tag, and the update was not asked
        Unchanged,  // the update left it as it was
        Saved,      // on disk
        NotSaved,   // `id3v2Reason` says why
    };
    TrailerWrite trailer;
    Id3v2 id3v2 = Id3v2::None;
    std::string id3v2Reason;
    bool rewritten = false;  // the file was rewritten through a new file to make room
};

// Why a save wrote nothing because another program changed the file while it was saved.
extern const std::string kChangedWhileSaved;

// Saves the trailer of `edited` at the end of the regular file at `path` (see trailerChange)
// and, when the file begins with an ID3v2 tag of version 2.2, 2.3 or 2.4, the tag that `id3v2`
// makes of it. First acts on the record of a save of the file that was cut short
// (finishInterruptedSave). The audio and the trailer stay byte for byte as they were until both
// tags are on disk, and a kill or power loss at any moment leaves each tag wholly old or wholly
// new (after the next click):
// - a new ID3v2 tag of the old one's size goes in place in one journaled write (see
//   storage::writeJournaled) with the trailer, and so does the trailer alone;
// - one of another size, or one too large for the journal, goes in a rewrite of the whole
//   file through a new file in the same folder (storage::rewriteFile), with the trailer;
// - when that cannot be done (the file has other hard links, which a new file would break
//   apart; the new file could not keep the owner or an attribute; the disk is full, fails, or
//   the folder may not be written), the ID3v2 tag is left as it was and the trailer saved in
//   place, and the result says why.
// Every write compares what it replaces first: when another program changed the file since
// this save read it, nothing at all is written, to either tag, and both reasons are
// kChangedWhileSaved. A failure changes nothing else. Never creates a file, and refuses what is
// no regular file and a link whose final target has no MP3 name, since that file may be
// anything. Counts as saved only once the bytes are on disk; a failed append is cut off again
// and a failed overwrite put back, and when that fails too the reason says so. Where the file
// system keeps no record of the write (FAT, some network shares) the trailer is written all the
// same, as safe from a failing disk but not from a kill. Writing past the file-size limit fails
// with a reason instead of ending the program.
TagsWrite writeTags(const core::FilePath& path, const EditedTag& edited, const Id3v2Update& id3v2,
                    const storage::SystemCalls& calls = {});

}  // namespace id3

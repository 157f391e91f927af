#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

#include "core/file_path.h"
#include "storage/system_calls.h"

namespace storage {

// What a rewritten file holds: `front`, then `keptSize` bytes of the old file from `keptFrom`
// on, then `back`; and what the old file holds around the bytes that are kept, as the caller
// found it: `oldFront` before `keptFrom`, `oldBack` from the end of the kept bytes to its end.
struct NewContent {
    std::string_view front;
    off_t keptFrom = 0;
    off_t keptSize = 0;
    std::string_view back;
    std::string_view oldFront;
    std::string_view oldBack;
};

struct FileRewrite {
    enum class Outcome {
        Replaced,            // the new file has taken the old one's place, on disk
        NotReplaced,         // the old file is as it was, and no new file is left behind
        OldFileChanged,      // not replaced, since another program changed the old file meanwhile
        ReplacedNotFlushed,  // in place, but the folder could not be flushed to the disk
    };
    Outcome outcome = Outcome::NotReplaced;
    std::string reason;  // why not, or why not flushed
};

// Replaces the file at `path`, open as `oldFd` and found to be `status`, by a new file with
// `content`, so that a kill or a power loss at any moment leaves either the old file or the
// new one under its name. The new file is made in the same folder, with no name where the
// file system allows (O_TMPFILE) and else under the hidden name of leftoverName(); it is
// given the old file's owner, group, permissions, ACLs and other extended attributes,
// written, flushed, given the hidden name and renamed over the old one, and the folder is
// flushed. When it could not keep the owner or an attribute, the old one is not replaced. Nor is
// it when the old file changed while it was copied: after the copy, its size, its modification
// time to the nanosecond and the bytes around the kept ones (`oldFront`, `oldBack`) are looked
// at once more, and on any difference nothing is replaced.
FileRewrite rewriteFile(const core::FilePath& path, int oldFd, const struct stat& status,
                        const NewContent& content, const SystemCalls& calls = {});

// The hidden name the new file of a rewrite of the file at `path` has between the moment it
// gets a name and the moment it takes the old one's place: a dot-file, so that no file list
// shows it, that does not end in ".mp3".
core::FilePath leftoverName(const core::FilePath& path);

// Removes the new file that a rewrite of the file at `path` left under leftoverName() when it
// was cut short, unless a rewrite still works on it (it holds a lock on it).
void removeLeftover(const core::FilePath& path);

}  // namespace storage

#pragma once

#include <optional>
#include <string>

#include "storage/system_calls.h"
#include "storage/write_journal.h"

namespace id3 {

// Whether `write` is one that a save of this program makes to the open file `fd` as the file
// stands now, read before the write and after it alike: each change lies inside the file's
// last 128 bytes when they hold a trailer, appends one 128-byte trailer to a file that ends in
// none, or lies inside the ID3v2 tag that the file's own header declares, never past its
// declared size (which the write leaves as it was) and never into the trailer or past the end.
// Nothing when the file could not be read.
std::optional<bool> isTagsWrite(int fd, const storage::InPlaceWrite& write,
                                const storage::SystemCalls& calls);

// Acts on the record of a save of the open file `fd` that a kill or power loss cut short, as
// storage::finishInterruptedWrite does, taking only the writes that isTagsWrite accepts.
storage::JournalRecovery finishInterruptedSave(int fd, const storage::SystemCalls& calls = {},
                                               const std::string& whyReadOnly = {});

}  // namespace id3

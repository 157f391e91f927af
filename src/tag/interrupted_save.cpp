#include "tag/interrupted_save.h"

#include <algorithm>

#include "storage/file_access.h"
#include "tag/id3v2_extent.h"
#include "tag/tag_record.h"
#include "tag/trailer_file.h"

namespace id3 {

namespace {

using storage::ByteChange;
using storage::InPlaceWrite;

off_t sizeOf(const std::string& bytes) {
    return static_cast<off_t>(bytes.size());
}

// `bytes`, read from the file at `at`, as the file holds them before `write` (its old bytes) or
// after it (its new ones).
std::string asWritten(std::string bytes, off_t at, const InPlaceWrite& write, bool after) {
    for (const ByteChange& change : write.changes) {
        const std::string& put = after ? change.newBytes : change.oldBytes;
        const off_t from = std::max(at, change.offset);
        const off_t to = std::min(at + sizeOf(bytes), change.offset + sizeOf(put));
        for (off_t i = from; i < to; ++i) {
            bytes[static_cast<std::size_t>(i - at)] =
                put[static_cast<std::size_t>(i - change.offset)];
        }
    }
    return bytes;
}

}  // namespace

std::optional<bool> isTagsWrite(int fd, const InPlaceWrite& write,
                                const storage::SystemCalls& calls) {
    const off_t before = write.sizeBefore;
    std::string head(static_cast<std::size_t>(std::min<off_t>(before, kId3v2HeaderSize)), '\0');
    const off_t endAt = std::max<off_t>(0, before - static_cast<off_t>(kEndBytes));
    std::string end(static_cast<std::size_t>(before - endAt), '\0');
    if (!storage::transferAll(calls.pread, fd, head.data(), head.size(), 0) ||
        !storage::transferAll(calls.pread, fd, end.data(), end.size(), endAt)) {
        return std::nullopt;
    }
    const std::optional<std::size_t> tagSize = id3v2TagSize(asWritten(head, 0, write, false));
    const bool trailerBefore = endsInTrailer(asWritten(end, endAt, write, false));
    const off_t trailerAt = before - static_cast<off_t>(TagRecord::kSize);
    const off_t audioEnd = trailerBefore ? trailerAt : before;
    // A tag that reaches past the audio's end is one no save writes.
    const off_t tagEnd = tagSize && tagSize == id3v2TagSize(asWritten(head, 0, write, true)) &&
                                 static_cast<off_t>(*tagSize) <= audioEnd
                             ? static_cast<off_t>(*tagSize)
                             : 0;
    const bool trailerStays = trailerBefore && endsInTrailer(asWritten(end, endAt, write, true));
    return std::all_of(write.changes.begin(), write.changes.end(), [&](const ByteChange& change) {
        if (change.oldBytes.empty()) {
            return !trailerBefore && change.newBytes.size() == TagRecord::kSize &&
                   change.newBytes.starts_with("TAG");
        }
        return change.offset + sizeOf(change.newBytes) <= tagEnd ||
               (trailerStays && change.offset >= trailerAt);
    });
}

storage::JournalRecovery finishInterruptedSave(int fd, const storage::SystemCalls& calls,
                                               const std::string& whyReadOnly) {
    return storage::finishInterruptedWrite(
        fd,
        [&calls](int file, const InPlaceWrite& write) { return isTagsWrite(file, write, calls); },
        calls, whyReadOnly);
}

}  // namespace id3

#include "tag/saved_trailer.h"

#include "tag/genre_table.h"

namespace id3 {

namespace {

// A comment this short leaves the field's last two bytes free for a zero and a track number.
constexpr std::size_t kShortCommentLength = 28;
constexpr std::size_t kTrackMarkOffset = layoutOf(TagField::Comment).offset + kShortCommentLength;
constexpr std::size_t kTrackOffset = kTrackMarkOffset + 1;
constexpr std::size_t kGenreOffset = layoutOf(TagField::Genre).offset;

bool holdsTrack(const TagRecord::Bytes& trailer) {
    return trailer[kTrackMarkOffset] == 0 && trailer[kTrackOffset] != 0;
}

bool holdsUnlistedGenre(const TagRecord& trailer) {
    return trailer.genreCode() != 0 && genrePositionFromCode(trailer.genreCode()) < 0;
}

}  // namespace

TagRecord::Bytes savedTrailer(const EditedTag& edited, const std::optional<TagRecord>& inFile) {
    TagRecord::Bytes bytes = edited.record.encode();
    if (!inFile) {
        return bytes;
    }
    const TagRecord::Bytes& old = inFile->encode();
    if (holdsTrack(old) && edited.commentLength <= kShortCommentLength) {
        bytes[kTrackMarkOffset] = 0;
        bytes[kTrackOffset] = old[kTrackOffset];
    }
    if (edited.record.genreCode() == 0 && holdsUnlistedGenre(*inFile)) {
        bytes[kGenreOffset] = old[kGenreOffset];
    }
    return bytes;
}

}  // namespace id3

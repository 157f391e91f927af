#pragma once

#include <algorithm>

#include "tag/saved_trailer.h"
#include "tag/tag_record.h"

// What the saving loop and the test that kills it agree on: the trailers saved in turn.
namespace kill_test {

// The trailer of turn `turn`: the same in every byte but those from `first` to `last`, which
// hold 'A' in even turns and 'B' in odd ones, so that a write torn inside them leaves a mix.
// Few bytes keep the record of a save within the room ext4 keeps for attributes in the inode,
// where adding and removing it costs microseconds: a record in a block of its own takes a few
// milliseconds to remove, and the loop would save too rarely for the kills to fall in writes.
inline id3::EditedTag trailerOfTurn(long turn, int first, int last) {
    id3::TagRecord::Bytes bytes{'T', 'A', 'G'};
    std::fill(bytes.begin() + 3, bytes.end(), 'x');
    std::fill(bytes.begin() + first, bytes.begin() + last + 1, turn % 2 == 0 ? 'A' : 'B');
    // A comment of all 30 characters, so that no track number of the other turn is kept.
    return {id3::TagRecord::decode(bytes), 30};
}

}  // namespace kill_test

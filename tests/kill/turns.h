#pragma once

#include <string>

#include "tag/saved_trailer.h"
#include "tag/tag_record.h"

// What the saving loop and the test that kills it agree on: the two trailers saved in turn.
// They differ in every field, so a write torn anywhere leaves a mix of both.
namespace kill_test {

inline tag::EditedTag trailerOfTurn(long turn) {
    const char letter = turn % 2 == 0 ? 'A' : 'B';
    tag::TagRecord record;
    record.store(tag::TagField::Tag, "TAG");
    for (const tag::TagField field :
         {tag::TagField::Title, tag::TagField::Artist, tag::TagField::Album, tag::TagField::Year,
          tag::TagField::Comment}) {
        record.store(field, std::string(30, letter));
    }
    record.store(tag::TagField::Genre, std::string(1, static_cast<char>(1 + turn % 2)));
    return {record, 30};
}

}  // namespace kill_test

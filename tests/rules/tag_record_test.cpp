#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tag/tag_record.h"

namespace {

using id3::TagField;
using id3::TagRecord;

constexpr TagField kFields[] = {TagField::Tag,   TagField::Title, TagField::Artist,
                                TagField::Album, TagField::Year,  TagField::Comment,
                                TagField::Genre};

TEST(TagRecord, FieldsFillTheTrailerInOrderWithoutGaps) {
    std::size_t next = 0;
    for (TagField field : kFields) {
        EXPECT_EQ(id3::layoutOf(field).offset, next);
        next += id3::layoutOf(field).width;
    }
    EXPECT_EQ(next, TagRecord::kSize);
}

// Stored one after the other into a new record, all NUL: each field is padded with spaces and
// cut at its width, and every other field keeps what it held.
TEST(TagRecord, StorePadsWithSpacesAndCutsAtTheWidthOfThatFieldAlone) {
    const struct {
        TagField field;
        std::string text;
        std::string stored;
    } cases[] = {
        {TagField::Artist, "Someone", "Someone" + std::string(23, ' ')},
        {TagField::Title, "Hello", "Hello" + std::string(25, ' ')},
        {TagField::Title, std::string(31, 'x'), std::string(30, 'x')},
        {TagField::Title, "", std::string(30, ' ')},
        {TagField::Year, "", "    "},
        {TagField::Year, "19999", "1999"},
        {TagField::Tag, "TAG", "TAG"},
        {TagField::Genre, std::string(1, '\x22'), "\x22"},
        {TagField::Comment, "  lead", "  lead" + std::string(24, ' ')},
    };
    TagRecord record;
    std::map<TagField, std::string> held;
    for (TagField field : kFields) {
        held[field] = std::string(id3::layoutOf(field).width, '\0');
    }
    for (const auto& c : cases) {
        record.store(c.field, c.text);
        held[c.field] = c.stored;
        for (const auto& [field, text] : held) {
            EXPECT_EQ(record.text(field), text)
                << "field " << static_cast<int>(field) << " after field "
                << static_cast<int>(c.field) << " was given \"" << c.text << '"';
        }
    }
}

TEST(TagRecord, TrailerMarkIsUpperCaseTagOnly) {
    EXPECT_FALSE(TagRecord().hasTrailerMark());
    for (const auto& [mark, expected] : std::vector<std::pair<std::string, bool>>{
             {"TAG", true}, {"tag", false}, {"Tag", false}, {"TAg", false}, {"TA\0", false}}) {
        TagRecord::Bytes bytes{};
        std::copy(mark.begin(), mark.end(), bytes.begin());
        EXPECT_EQ(TagRecord::decode(bytes).hasTrailerMark(), expected) << mark;
    }
}

TEST(ShownText, EndsAtTheFirstNulWithoutTrailingSpaces) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Title   ", "Title"},
        {"  Lead", "  Lead"},
        {std::string("Abc\0\0\0", 6), "Abc"},
        {std::string("Abc \0 x ", 8), "Abc"},
        {std::string("Track\0\x07", 7), "Track"},
        {"ripped by kid3" + std::string(14, ' ') + std::string("\0\x05", 2), "ripped by kid3"},
        {"    ", ""},
        {std::string(4, '\0'), ""},
        {"\xE9t\xE9", "\xE9t\xE9"},
    };
    for (const auto& [field, shown] : cases) {
        EXPECT_EQ(id3::shownText(field), shown);
    }
}

}  // namespace

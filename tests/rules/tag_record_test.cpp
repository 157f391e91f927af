#include <gtest/gtest.h>

#include <QString>

#include "tag/tag_record.h"

namespace {

using id3::TagField;
using id3::TagRecord;

TEST(TagRecord, StartsAllNulAndWithoutTrailerMark) {
    const TagRecord record;
    for (std::uint8_t byte : record.encode()) {
        ASSERT_EQ(byte, 0);
    }
    EXPECT_FALSE(record.hasTrailerMark());
}

TEST(TagRecord, FieldsFillTheTrailerInOrderWithoutGaps) {
    std::size_t next = 0;
    for (TagField field : {TagField::Tag, TagField::Title, TagField::Artist, TagField::Album,
                           TagField::Year, TagField::Comment, TagField::Genre}) {
        EXPECT_EQ(id3::layoutOf(field).offset, next);
        next += id3::layoutOf(field).width;
    }
    EXPECT_EQ(next, TagRecord::kSize);
}

struct StoreCase {
    TagField field;
    std::string text;
    std::string stored;
};

void PrintTo(const StoreCase& c, std::ostream* out) {
    *out << "field " << static_cast<int>(c.field) << " given \"" << c.text << "\"";
}

class StoreRule : public testing::TestWithParam<StoreCase> {};

TEST_P(StoreRule, PadsWithSpacesAndCutsAtTheWidth) {
    TagRecord record;
    record.store(GetParam().field, GetParam().text);
    EXPECT_EQ(record.text(GetParam().field), GetParam().stored);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, StoreRule,
    testing::Values(StoreCase{TagField::Title, "Hello", "Hello" + std::string(25, ' ')},
                    StoreCase{TagField::Title, std::string(31, 'x'), std::string(30, 'x')},
                    StoreCase{TagField::Title, "", std::string(30, ' ')},
                    StoreCase{TagField::Year, "", "    "},
                    StoreCase{TagField::Year, "19999", "1999"},
                    StoreCase{TagField::Tag, "TAG", "TAG"},
                    StoreCase{TagField::Genre, std::string(1, '\x22'), "\x22"},
                    StoreCase{TagField::Comment, "  lead", "  lead" + std::string(24, ' ')}));

TEST(TagRecord, StoringOneFieldLeavesTheOthersAlone) {
    TagRecord record;
    record.store(TagField::Artist, "Someone");
    record.store(TagField::Title, std::string(40, 't'));
    EXPECT_EQ(record.text(TagField::Artist), "Someone" + std::string(23, ' '));
    EXPECT_EQ(record.text(TagField::Album), std::string(30, '\0'));
}

TEST(TagRecord, TrailerMarkIsUpperCaseTagOnly) {
    for (const auto& [mark, expected] : std::vector<std::pair<std::string, bool>>{
             {"TAG", true}, {"tag", false}, {"Tag", false}, {"TAg", false}, {"TA\0", false}}) {
        TagRecord record;
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

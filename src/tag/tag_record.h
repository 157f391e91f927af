#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace id3 {

// The seven fields of an ID3 version 1 trailer, in their on-disk order.
enum class TagField { Tag, Title, Artist, Album, Year, Comment, Genre };

struct FieldLayout {
    std::size_t offset;
    std::size_t width;
};

// Where each field sits in the 128-byte trailer; the widths add up to 128, so the fields fill it
// with no gaps, length bytes or terminators.
constexpr FieldLayout layoutOf(TagField field) {
    switch (field) {
        case TagField::Tag:
            return {0, 3};
        case TagField::Title:
            return {3, 30};
        case TagField::Artist:
            return {33, 30};
        case TagField::Album:
            return {63, 30};
        case TagField::Year:
            return {93, 4};
        case TagField::Comment:
            return {97, 30};
        case TagField::Genre:
            return {127, 1};
    }
    return {0, 0};
}

// One ID3 version 1 trailer held in memory. Text is one byte per character (Latin-1 on the
// window's side); a field always holds exactly its width, and a new record is all NUL bytes.
class TagRecord {
public:
    static constexpr std::size_t kSize = 128;
    using Bytes = std::array<std::uint8_t, kSize>;

    TagRecord() = default;

    static TagRecord decode(const Bytes& trailer);
    const Bytes& encode() const { return bytes_; }

    // Left-justifies `text` in the field, fills the rest with spaces and cuts what does not fit.
    void store(TagField field, std::string_view text);

    // The field's characters, trailing spaces and NUL bytes included.
    std::string text(TagField field) const;

    // True when the indicator is exactly "TAG" (upper case only).
    bool hasTrailerMark() const;

    std::uint8_t genreCode() const { return bytes_[layoutOf(TagField::Genre).offset]; }

    friend bool operator==(const TagRecord&, const TagRecord&) = default;

private:
    Bytes bytes_{};
};

// What a text box shows of a stored field: the characters before the first NUL, since a text
// box ends its text there, without their trailing spaces. Other tools end a shorter comment
// with spaces and a zero before a track number; shown with those spaces, typing at its end
// would push the comment past the 28 characters that leave the track its place.
std::string shownText(std::string_view field);

}  // namespace id3

// Feeds arbitrary bytes to the tag record, the genre table and the MPEG frame counter, and
// checks what their headers promise: a trailer comes back byte for byte, a stored field reads
// back as typed, a shown field holds no NUL, a play length is a sane number of seconds.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "expected_shown_text.h"
#include "fuzz_check.h"
#include "player/mpeg_audio_duration.h"
#include "tag/genre_table.h"
#include "tag/tag_record.h"

namespace {

using id3::TagField;
using id3::TagRecord;

constexpr std::array kAllFields = {TagField::Tag,   TagField::Title, TagField::Artist,
                                   TagField::Album, TagField::Year,  TagField::Comment,
                                   TagField::Genre};

// No MPEG audio stream is slower than 8 kbit/s, one millisecond a byte; frame sizes round
// down, which can add half a percent to that.
constexpr double kMostSecondsPerByte = 0.00101;

std::string_view asText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// A file's trailer is its last 128 bytes; a shorter input stands at the front, NULs after it.
TagRecord::Bytes trailerWindow(std::span<const std::uint8_t> input) {
    TagRecord::Bytes window{};
    const auto tail = input.size() >= TagRecord::kSize ? input.last(TagRecord::kSize) : input;
    std::copy(tail.begin(), tail.end(), window.begin());
    return window;
}

void checkDecodedFields(const TagRecord& record, const TagRecord::Bytes& window) {
    FUZZ_CHECK(record.encode() == window);
    FUZZ_CHECK(TagRecord::decode(record.encode()) == record);
    for (const TagField field : kAllFields) {
        const auto [offset, width] = id3::layoutOf(field);
        const std::string text = record.text(field);
        FUZZ_CHECK(text == asText(std::span(window).subspan(offset, width)));

        const std::string shown = id3::shownText(text);
        FUZZ_CHECK(shown == expectedShownText(text));
        FUZZ_CHECK(shown.find('\0') == std::string::npos);
        FUZZ_CHECK(text.starts_with(shown));
        FUZZ_CHECK(!shown.ends_with(' '));
    }
    FUZZ_CHECK(record.hasTrailerMark() == (asText(std::span(window).first(3)) == "TAG"));
}

void checkGenre(const TagRecord& record, const TagRecord::Bytes& window) {
    const std::uint8_t code = record.genreCode();
    FUZZ_CHECK(code == window[id3::layoutOf(TagField::Genre).offset]);
    const bool listed = code >= 1 && code <= id3::kGenreNames.size();
    const int position = id3::genrePositionFromCode(code);
    FUZZ_CHECK(position == (listed ? code - 1 : id3::kNoGenrePosition));
    FUZZ_CHECK(id3::genreCodeFromPosition(position) == (listed ? code : 0));
}

// What the user types into a box (any Latin-1 bytes) lands in its field, padded with spaces or
// cut to fit, leaves every other byte alone and reads back as typed.
void checkStoreRoundTrip(const TagRecord& original, std::string_view typed) {
    for (const TagField field : kAllFields) {
        TagRecord record = original;
        record.store(field, typed);
        const auto [offset, width] = id3::layoutOf(field);

        std::string expected(typed.substr(0, width));
        expected.resize(width, ' ');
        FUZZ_CHECK(record.text(field) == expected);
        for (std::size_t i = 0; i < TagRecord::kSize; ++i) {
            if (i < offset || i >= offset + width) {
                FUZZ_CHECK(record.encode()[i] == original.encode()[i]);
            }
        }
        FUZZ_CHECK(TagRecord::decode(record.encode()) == record);

        const bool fitsAndShowsWhole = typed.size() <= width &&
                                       typed.find('\0') == std::string_view::npos &&
                                       !typed.ends_with(' ');
        if (fitsAndShowsWhole) {
            FUZZ_CHECK(id3::shownText(record.text(field)) == typed);
        }
    }
}

// An ID3v2 header in front is skipped whole, so a length must not change when one is added,
// not even one whose body looks like MPEG frames.
void checkDurationSkipsId3v2Header(std::span<const std::uint8_t> input,
                                   std::optional<double> seconds) {
    if (asText(input).starts_with("ID3")) {
        return;
    }
    std::vector<std::uint8_t> withHeader = {'I', 'D',  '3',  4,    0,    0,    0,    0,    0,
                                            8,   0xFF, 0xFB, 0x90, 0x64, 0xFF, 0xFB, 0x90, 0x64};
    withHeader.insert(withHeader.end(), input.begin(), input.end());
    FUZZ_CHECK(player::mpegAudioDuration(withHeader) == seconds);
}

void checkDuration(std::span<const std::uint8_t> input) {
    const std::optional<double> seconds = player::mpegAudioDuration(input);
    if (seconds) {
        FUZZ_CHECK(std::isfinite(*seconds));
        FUZZ_CHECK(*seconds >= 0.0);
        FUZZ_CHECK(*seconds <= kMostSecondsPerByte * static_cast<double>(input.size()));
    }
    checkDurationSkipsId3v2Header(input, seconds);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    const TagRecord::Bytes window = trailerWindow(input);
    const TagRecord record = TagRecord::decode(window);

    checkDecodedFields(record, window);
    checkGenre(record, window);
    if (!input.empty()) {
        // The first byte picks how much of the rest is typed, so that short, exact and
        // too-long texts all come up.
        const std::size_t typedLength = std::min<std::size_t>(input[0] % 40, size - 1);
        checkStoreRoundTrip(record, asText(input.subspan(1, typedLength)));
    }
    checkDuration(input);
    return 0;
}

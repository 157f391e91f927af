#pragma once

#include <string>
#include <string_view>

// What a tag box should show of a stored field, worked out here on its own rather than
// through tag::shownText, so that the fuzzers check that function instead of repeating it:
// the field's trailing spaces go first, then everything from the first NUL on, since a text
// box ends its text at a NUL.
inline std::string expectedShownText(std::string_view field) {
    std::size_t end = field.size();
    while (end > 0 && field[end - 1] == ' ') {
        --end;
    }
    std::string shown;
    for (std::size_t i = 0; i < end && field[i] != '\0'; ++i) {
        shown += field[i];
    }
    return shown;
}

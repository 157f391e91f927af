#pragma once

#include <string>
#include <string_view>

// What a tag box should show of a stored field, worked out here on its own rather than
// through id3::shownText, so that the fuzzers check that function instead of repeating it:
// everything from the first NUL on goes, since a text box ends its text at a NUL, then the
// trailing spaces of what is left.
inline std::string expectedShownText(std::string_view field) {
    std::string shown;
    for (std::size_t i = 0; i < field.size() && field[i] != '\0'; ++i) {
        shown += field[i];
    }
    while (!shown.empty() && shown.back() == ' ') {
        shown.pop_back();
    }
    return shown;
}

#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace id3 {

// The genre names in list order. This program stores a genre as its list position + 1
// ("Blues" = 1) and 0 for none; files it has written rely on that numbering.
inline constexpr std::array<std::string_view, 34> kGenreNames = {
    "Blues",      "Classic Rock", "Country",     "Dance",       "Disco",       "Funk",
    "Grunge",     "Hip -Hop",     "Jazz",        "Metal",       "New Age",     "Oldies",
    "Other",      "Pop",          "R&b",         "Rap",         "Reggae",      "Rock",
    "Techno",     "Industrial",   "Alternative", "Ska",         "Death Metal", "Pranks",
    "Soundtrack", "Euro -Techno", "Ambient",     "Trip -Hop",   "Vocal",       "Jazz Funk",
    "Fusion",     "Trance",       "Classical",   "Instrumental"};

inline constexpr int kNoGenrePosition = -1;

// The genre byte for a list position; -1 (nothing selected) gives 0.
std::uint8_t genreCodeFromPosition(int position);

// The list position for a genre byte; 0 and codes past the list's end give -1.
int genrePositionFromCode(std::uint8_t code);

}  // namespace id3

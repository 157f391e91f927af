#include "tag/genre_table.h"

namespace id3 {

std::uint8_t genreCodeFromPosition(int position) {
    const bool listed = position >= 0 && position < static_cast<int>(kGenreNames.size());
    return listed ? static_cast<std::uint8_t>(position + 1) : 0;
}

int genrePositionFromCode(std::uint8_t code) {
    const int position = code - 1;
    return position < static_cast<int>(kGenreNames.size()) ? position : kNoGenrePosition;
}

}  // namespace id3

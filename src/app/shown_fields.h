#pragma once

#include <QString>

#include "tag/genre_table.h"
#include "tag/id3v2_update.h"

// What the window's tag fields hold: the text of the five boxes and the genre list's position.
struct ShownFields {
    QString title;
    QString artist;
    QString album;
    QString year;
    QString comment;
    int genrePosition = id3::kNoGenrePosition;

    friend bool operator==(const ShownFields&, const ShownFields&) = default;
};

// What a save puts into the ID3v2 tag, given the fields as a click showed them and as they are
// at the save: each field the user changed, with the whole text of its box, and the genre by
// its name; a genre list with nothing chosen takes the genre out.
id3::Id3v2Changes id3v2Changes(const ShownFields& atClick, const ShownFields& atSave);

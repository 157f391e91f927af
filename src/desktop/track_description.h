#pragma once

#include <QByteArray>
#include <QString>

#include "core/file_path.h"

namespace desktop {

// What a desktop's media panel shows of a playing file.
struct TrackDescription {
    QString title;
    QString artist;
    QString album;
    QByteArray cover{};  // the picture's bytes, as the file holds them; empty for none

    friend bool operator==(const TrackDescription&, const TrackDescription&) = default;
};

// The file's title, artist and album: each from the ID3v2 tag the file begins with where that
// tag names it, else from the trailer as the window's text boxes show it; the file's name
// stands for the title where neither tag names one. The cover is the ID3v2 tag's
// (coverPicture()).
TrackDescription describeTrack(const core::FilePath& path);

}  // namespace desktop

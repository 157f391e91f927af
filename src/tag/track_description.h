#pragma once

#include <QString>

namespace tag {

// What a desktop's media panel shows of a playing file.
struct TrackDescription {
    QString title;
    QString artist;
    QString album;

    friend bool operator==(const TrackDescription&, const TrackDescription&) = default;
};

// The file's ID3v1 title, artist and album as the window's text boxes show them; the file's
// name stands for the title where the file has no tag or its tag names no title.
TrackDescription describeTrack(const QString& path);

}  // namespace tag

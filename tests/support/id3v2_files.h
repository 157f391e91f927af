#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// Files with ID3v2 tags as TagLib saves them, and the titles that TagLib and mutagen read.
namespace id3v2_files {

// Writes a file at `path` as TagLib saves one: real audio with an ID3v2 tag of `version` (3 or
// 4) holding `title` and a picture of `pictureSize` bytes, and an ID3v1 trailer titled `title`
// too when `withTrailer`.
void saveWithTagLib(const QString& path, int version, const QString& title, int pictureSize,
                    bool withTrailer);

struct Titles {
    QString id3v2;  // empty when the reader finds no ID3v2 tag
    QString id3v1;  // empty when it finds no trailer
    friend bool operator==(const Titles&, const Titles&) = default;
};

Titles titlesByTagLib(const QString& path);
// All files at once, since each start of Python costs a good part of a second.
std::vector<Titles> titlesByMutagen(const QStringList& paths);

}  // namespace id3v2_files

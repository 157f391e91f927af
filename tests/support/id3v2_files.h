#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// ID3v2 tags for tests, made by TagLib or, for what TagLib does not write, by hand; and the
// titles that TagLib and mutagen read from files.
namespace id3v2_files {

// A tag of `version` (3 or 4) as TagLib renders it, padded as TagLib pads a new tag: the title,
// a comment of `commentSize` characters and a JPEG picture of `pictureSize` bytes.
QByteArray renderedTag(int version, const QString& title, int commentSize = 0, int pictureSize = 0);

// A tag of `version` (2, 3 or 4) made by hand, which TagLib does not write: Latin-1 text
// frames given as frame ID and text, then `padding` zero bytes, then for version 4 a footer
// when `footer` is set.
QByteArray handmadeTag(int version, const std::vector<std::pair<QByteArray, QByteArray>>& frames,
                       int padding, bool footer = false);

// Writes a file at `path` as TagLib saves one: the frames of tests/data/cbr.mp3 with an ID3v2
// tag of `version` (3 or 4) holding `title` and a picture of `pictureSize` bytes, and an ID3v1
// trailer titled `title` too when `withTrailer`.
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

#include "app/id3v2_notice.h"

QString id3v2Message(bool besideTrailer) {
    return besideTrailer ? QStringLiteral("Also an ID3v2 tag")
                         : QStringLiteral("No tag (ID3v2 only)");
}

QString id3v2Details(const id3::Id3v2Fields& tag) {
    return QStringLiteral("ID3v2.%1 tag at the file's start:\nTitle: %2\nArtist: %3\nAlbum: %4")
        .arg(QString::number(tag.version), tag.title, tag.artist, tag.album);
}

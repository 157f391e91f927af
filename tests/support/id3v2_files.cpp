#include "support/id3v2_files.h"

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <QFile>
#include <QProcess>

#include "support/id3v2_tags.h"
#include "support/temp_files.h"

namespace id3v2_files {

void saveWithTagLib(const QString& path, int version, const QString& title, int pictureSize,
                    bool withTrailer) {
    test_files::writeAll(path, test_files::mpegAudio());
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    test_tags::fillTag(*file.ID3v2Tag(true), title, 0, pictureSize);
    int tags = TagLib::MPEG::File::ID3v2;
    if (withTrailer) {
        file.ID3v1Tag(true)->setTitle(title.toStdString());
        tags |= TagLib::MPEG::File::ID3v1;
    }
    if (!file.save(tags, TagLib::File::StripOthers,
                   version == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4)) {
        qFatal("TagLib could not save %s", qPrintable(path));
    }
}

Titles titlesByTagLib(const QString& path) {
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    Titles titles;
    if (file.hasID3v2Tag()) {
        titles.id3v2 = QString::fromStdString(file.ID3v2Tag()->title().to8Bit(true));
    }
    if (file.hasID3v1Tag()) {
        titles.id3v1 = QString::fromStdString(file.ID3v1Tag()->title().to8Bit(true));
    }
    return titles;
}

std::vector<Titles> titlesByMutagen(const QStringList& paths) {
    const QString script = QStringLiteral(R"(
import sys
from mutagen.id3 import ID3, ID3NoHeaderError
from mutagen.id3._id3v1 import find_id3v1
for path in sys.argv[1:]:
    try:
        v2 = str(ID3(path, load_v1=False).get("TIT2", ""))
    except ID3NoHeaderError:
        v2 = ""
    with open(path, "rb") as f:
        v1tag = find_id3v1(f)[0]
    v1 = str(v1tag.get("TIT2", "")) if v1tag else ""
    print(v2 + "\t" + v1)
)");
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral("-c"), script} + paths);
    if (!python.waitForFinished(30000) || python.exitCode() != 0) {
        qFatal("mutagen failed: %s", python.readAllStandardError().constData());
    }
    const QList<QByteArray> lines = python.readAllStandardOutput().split('\n');
    std::vector<Titles> titles;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QList<QByteArray> parts = lines.value(i).split('\t');
        titles.push_back({QString::fromUtf8(parts.value(0)), QString::fromUtf8(parts.value(1))});
    }
    return titles;
}

}  // namespace id3v2_files

#include "tag/track_description.h"

#include <QFile>
#include <QFileInfo>

#include "tag/trailer_file.h"

namespace tag {

TrackDescription describeTrack(const QString& path) {
    TrackDescription track;
    const TrailerRead read = readTrailer(QFile::encodeName(path).toStdString());
    if (read.outcome == TrailerRead::Outcome::Trailer) {
        const TagRecord record = TagRecord::decode(read.lastBytes);
        const auto shown = [&record](TagField field) {
            const std::string text = shownText(record.text(field));
            return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
        };
        track.title = shown(TagField::Title);
        track.artist = shown(TagField::Artist);
        track.album = shown(TagField::Album);
    }
    if (track.title.isEmpty()) {
        track.title = QFileInfo(path).fileName();
    }
    return track;
}

}  // namespace tag

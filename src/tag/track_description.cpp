#include "tag/track_description.h"

#include "browser/local_name.h"
#include "tag/trailer_file.h"

namespace tag {

TrackDescription describeTrack(const QString& path) {
    TrackDescription track;
    const TrailerRead read = readTrailer(browser::localBytes(path).toStdString());
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
        track.title = browser::readableName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    }
    return track;
}

}  // namespace tag

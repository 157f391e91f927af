#include "tag/track_description.h"

#include "browser/local_name.h"
#include "tag/id3v2_file.h"
#include "tag/trailer_file.h"

namespace tag {

TrackDescription describeTrack(const QString& path) {
    TrackDescription track;
    const QByteArray bytes = browser::localBytes(path);
    const TrailerRead read = readTrailer(bytes.toStdString());
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
    // Other players show the ID3v2 tag first, and so does the desktop's media panel here.
    if (const std::optional<Id3v2Fields> fields = readId3v2Fields(core::FilePath(bytes))) {
        const auto prefer = [](QString& shown, const QString& fromId3v2) {
            if (!fromId3v2.isEmpty()) {
                shown = fromId3v2;
            }
        };
        prefer(track.title, fields->title);
        prefer(track.artist, fields->artist);
        prefer(track.album, fields->album);
    }
    if (track.title.isEmpty()) {
        track.title = browser::readableName(path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
    }
    return track;
}

}  // namespace tag

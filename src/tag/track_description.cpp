#include "tag/track_description.h"

#include "core/code_page.h"
#include "tag/id3v2_file.h"
#include "tag/id3v2_picture.h"
#include "tag/trailer_file.h"

namespace id3 {

TrackDescription describeTrack(const core::FilePath& path) {
    TrackDescription track;
    const TrailerRead read = readTrailer(path);
    if (read.outcome == TrailerRead::Outcome::Trailer) {
        const TagRecord record = TagRecord::decode(read.lastBytes);
        const auto shown = [&record](TagField field) {
            return core::CodePage::system().decode(shownText(record.text(field)));
        };
        track.title = shown(TagField::Title);
        track.artist = shown(TagField::Artist);
        track.album = shown(TagField::Album);
    }
    // Other players show the ID3v2 tag first, and so does the desktop's media panel here.
    const std::optional<std::string> id3v2 = readId3v2Tag(path);
    if (const std::optional<Id3v2Fields> fields = id3v2 ? parseId3v2(*id3v2) : std::nullopt) {
        const auto prefer = [](QString& shown, const QString& fromId3v2) {
            if (!fromId3v2.isEmpty()) {
                shown = fromId3v2;
            }
        };
        prefer(track.title, fields->title);
        prefer(track.artist, fields->artist);
        prefer(track.album, fields->album);
        track.cover = coverPicture(*id3v2);
    }
    if (track.title.isEmpty()) {
        track.title = path.fileName().readable();
    }
    return track;
}

}  // namespace id3

#include "desktop/track_description.h"

#include "core/code_page.h"
#include "tag/id3v2_file.h"
#include "tag/id3v2_picture.h"
#include "tag/trailer_file.h"

namespace desktop {

TrackDescription describeTrack(const core::FilePath& path) {
    TrackDescription track;
    const id3::TrailerRead read = id3::readTrailer(path);
    if (read.outcome == id3::TrailerRead::Outcome::Trailer) {
        const id3::TagRecord record = id3::TagRecord::decode(read.lastBytes);
        const auto shown = [&record](id3::TagField field) {
            return core::CodePage::system().decode(id3::shownText(record.text(field)));
        };
        track.title = shown(id3::TagField::Title);
        track.artist = shown(id3::TagField::Artist);
        track.album = shown(id3::TagField::Album);
    }
    // Other players show the ID3v2 tag first, and so does the desktop's media panel here.
    const std::optional<std::string> id3v2 = id3::readId3v2Tag(path);
    if (const std::optional<id3::Id3v2Fields> fields =
            id3v2 ? id3::parseId3v2(*id3v2) : std::nullopt) {
        const auto prefer = [](QString& shown, const QString& fromId3v2) {
            if (!fromId3v2.isEmpty()) {
                shown = fromId3v2;
            }
        };
        prefer(track.title, fields->title);
        prefer(track.artist, fields->artist);
        prefer(track.album, fields->album);
        track.cover = id3::coverPicture(*id3v2);
    }
    if (track.title.isEmpty()) {
        track.title = path.fileName().readable();
    }
    return track;
}

}  // namespace desktop

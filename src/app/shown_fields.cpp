#include "app/shown_fields.h"

namespace {

std::optional<QString> changedText(const QString& atClick, const QString& atSave) {
    return atSave == atClick ? std::nullopt : std::optional(atSave);
}

QString genreName(int position) {
    if (position < 0 || position >= static_cast<int>(id3::kGenreNames.size())) {
        return {};
    }
    const std::string_view name = id3::kGenreNames[static_cast<std::size_t>(position)];
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

id3::Id3v2Changes id3v2Changes(const ShownFields& atClick, const ShownFields& atSave) {
    return {
        .title = changedText(atClick.title, atSave.title),
        .artist = changedText(atClick.artist, atSave.artist),
        .album = changedText(atClick.album, atSave.album),
        .year = changedText(atClick.year, atSave.year),
        .comment = changedText(atClick.comment, atSave.comment),
        .genre = atSave.genrePosition == atClick.genrePosition
                     ? std::nullopt
                     : std::optional(genreName(atSave.genrePosition)),
    };
}

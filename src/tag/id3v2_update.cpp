#include "tag/id3v2_update.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/textidentificationframe.h>

#include <array>
#include <memory>
#include <utility>

#include "tag/id3v2_frames.h"
#include "tag/id3v2_tag.h"

namespace id3 {

namespace {

// TagLib's padding for a tag that outgrows its place.
constexpr std::size_t kPaddingWhenGrowing = 1024;
constexpr std::size_t kFrameFlagsByte = 9;
constexpr char kFrameUnsynchronised = 0x02;  // version 2.4, second flags byte

enum class Field { Title, Artist, Album, Year, Comment, Genre };
constexpr std::size_t kFieldCount = 6;

const std::optional<QString>& changeOf(const Id3v2Changes& changes, Field field) {
    switch (field) {
        case Field::Title:
            return changes.title;
        case Field::Artist:
            return changes.artist;
        case Field::Album:
            return changes.album;
        case Field::Year:
            return changes.year;
        case Field::Comment:
            return changes.comment;
        case Field::Genre:
            break;
    }
    return changes.genre;
}

TagLib::String toTagLib(const QString& text) {
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

std::string_view viewOf(const TagLib::ByteVector& bytes) {
    return {bytes.data(), bytes.size()};
}

// The field an old frame holds, by the frame's own ID (TagLib reads a version 2.3 year as
// TDRC); of the comments, only the first without a description, the one other players show.
std::optional<Field> fieldHeldIn(std::string_view id) {
    if (id == "TIT2") {
        return Field::Title;
    }
    if (id == "TPE1") {
        return Field::Artist;
    }
    if (id == "TALB") {
        return Field::Album;
    }
    if (id == "TYER" || id == "TDRC") {
        return Field::Year;
    }
    if (id == "TCON") {
        return Field::Genre;
    }
    return std::nullopt;
}

// The language of a comment frame without a description; nothing for any other frame.
std::optional<TagLib::ByteVector> plainCommentLanguage(const Id3v2Frame& frame,
                                                       const TagLib::ID3v2::Header& header) {
    if (frame.id != "COMM") {
        return std::nullopt;
    }
    const std::unique_ptr<TagLib::ID3v2::Frame> read(
        TagLib::ID3v2::FrameFactory::instance()->createFrame(frame.fromHereOn, &header));
    const auto* comment = dynamic_cast<const TagLib::ID3v2::CommentsFrame*>(read.get());
    if (comment == nullptr || !comment->description().isEmpty()) {
        return std::nullopt;
    }
    return comment->language();
}

// A new frame that TagLib renders for a tag of the given version rather than its default 2.4.
template <typename TagLibFrame>
class FrameOfVersion : public TagLibFrame {
public:
    template <typename... Arguments>
    explicit FrameOfVersion(unsigned int version, Arguments&&... arguments)
        : TagLibFrame(std::forward<Arguments>(arguments)...) {
        this->header()->setVersion(version);
    }
};

// The new frame for a field; none for an empty text. Its text is Latin-1 where it fits, else
// what the version allows: UTF-16 in 2.3, UTF-8 in 2.4.
std::string renderedFrame(Field field, const QString& text, unsigned int version,
                          const TagLib::ByteVector& language) {
    if (text.isEmpty()) {
        return {};
    }
    std::unique_ptr<TagLib::ID3v2::Frame> frame;
    if (field == Field::Comment) {
        auto comment = std::make_unique<FrameOfVersion<TagLib::ID3v2::CommentsFrame>>(
            version, TagLib::String::Latin1);
        comment->setLanguage(language);
        frame = std::move(comment);
    } else {
        static constexpr std::array<const char*, kFieldCount> kTextFrameIds = {
            "TIT2", "TPE1", "TALB", nullptr, nullptr, "TCON"};
        const char* id = field == Field::Year ? (version == 3 ? "TYER" : "TDRC")
                                              : kTextFrameIds[static_cast<std::size_t>(field)];
        frame = std::make_unique<FrameOfVersion<TagLib::ID3v2::TextIdentificationFrame>>(
            version, TagLib::ByteVector(id), TagLib::String::Latin1);
    }
    frame->setText(toTagLib(text));
    return std::string(viewOf(frame->render()));
}

}  // namespace

UpdatedId3v2 updatedId3v2(std::string_view tagInFile, const Id3v2Changes& changes) {
    if (!changes.any()) {
        return {};
    }
    const std::optional<std::size_t> size = id3v2TagSize(tagInFile);
    if (size && *size > tagInFile.size()) {
        return {.tag = std::nullopt, .whyLeft = std::string(kTagRunsPastEnd)};
    }
    if (!size || *size != tagInFile.size()) {
        return {.tag = std::nullopt, .whyLeft = "the ID3v2 tag is damaged"};
    }
    TagLib::ID3v2::Header header(TagLib::ByteVector(tagInFile.data(), kId3v2HeaderSize));
    const unsigned int version = header.majorVersion();
    if (version == 2) {
        return {.tag = std::nullopt, .whyLeft = "an ID3v2.2 tag cannot be written"};
    }

    // A 2.4 tag may say that all its frames are unsynchronised; once the new header no longer
    // says so, each frame that is kept says it itself.
    const bool framesUnsynchronised = header.unsynchronisation() && version == 4;
    const TagLib::ByteVector area = id3v2FrameArea(tagInFile, header);
    const Id3v2FrameList old = id3v2Frames(area, header);
    if (!old.wholeRead) {
        return {.tag = std::nullopt,
                .whyLeft = "the ID3v2 tag holds data that this program cannot keep"};
    }

    std::string frames;
    std::array<bool, kFieldCount> placed{};
    TagLib::ByteVector language("eng");
    bool commentFound = false;
    const auto place = [&](Field field) {
        auto& done = placed[static_cast<std::size_t>(field)];
        if (!done) {
            frames += renderedFrame(field, *changeOf(changes, field), version, language);
            done = true;
        }
    };
    for (const Id3v2Frame& frame : old.frames) {
        std::optional<Field> field = fieldHeldIn(frame.id);
        if (!commentFound && changes.comment) {
            if (const auto commentLanguage = plainCommentLanguage(frame, header)) {
                commentFound = true;
                language = *commentLanguage;
                field = Field::Comment;
            }
        }
        if (field && changeOf(changes, *field)) {
            place(*field);
            continue;
        }
        // It holds nothing, and TagLib, as other players that read through it, would stop
        // reading the tag at it.
        if (frame.empty) {
            continue;
        }
        const std::size_t start = frames.size();
        frames += frame.bytes;
        if (framesUnsynchronised) {
            frames[start + kFrameFlagsByte] |= kFrameUnsynchronised;
        }
    }
    for (std::size_t field = 0; field < kFieldCount; ++field) {
        if (changeOf(changes, static_cast<Field>(field))) {
            place(static_cast<Field>(field));
        }
    }

    const std::size_t used = kId3v2HeaderSize + frames.size();
    const std::size_t padding =
        used <= tagInFile.size() ? tagInFile.size() - used : kPaddingWhenGrowing;
    // TagLib renders the header without the flags of an extended header, a footer and
    // unsynchronisation, none of which the new tag has.
    header.setTagSize(static_cast<unsigned int>(frames.size() + padding));
    std::string tag(viewOf(header.render()));
    tag += frames;
    tag.append(padding, '\0');
    if (tag == tagInFile) {
        return {};
    }
    return {.tag = std::move(tag), .whyLeft = {}};
}

}  // namespace id3

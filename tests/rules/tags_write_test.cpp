#include <gtest/gtest.h>
#include <sys/acl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/id3v2_files.h"
#include "support/temp_files.h"
#include "tag/id3v2_extent.h"
#include "tag/tags_write.h"
#include "tag/write_journal.h"

namespace {

using Id3v2 = tag::TagsWrite::Id3v2;
using id3v2_files::Titles;
using test_files::readAll;
using test_files::writeAll;

tag::EditedTag editedTrailer() {
    tag::TagRecord record;
    record.store(tag::TagField::Tag, "TAG");
    record.store(tag::TagField::Title, "Saved title");
    return {record, 0};
}

// The trailer a save writes over `old`, or after a file without one: a genre that TagLib
// stores for none (255) stays, as after any save.
QByteArray savedTrailer(const QByteArray& old = {}) {
    std::optional<tag::TagRecord> inFile;
    if (!old.isEmpty()) {
        tag::TagRecord::Bytes bytes{};
        std::copy(old.begin(), old.end(), bytes.begin());
        inFile = tag::TagRecord::decode(bytes);
    }
    const tag::TagRecord::Bytes bytes = tag::savedTrailer(editedTrailer(), inFile);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

QByteArray audio() {
    return readAll(test_files::testDataFile(QStringLiteral("cbr.mp3")));
}

// A file cut into its tags and audio, as made.
struct FileParts {
    QByteArray id3v2;
    QByteArray audio;
    QByteArray trailer;
};

FileParts writeParts(const QString& path, const FileParts& parts) {
    writeAll(path, parts.id3v2 + parts.audio + parts.trailer);
    return parts;
}

// Saves with TagLib, and finds the parts as TagLib finds them.
FileParts saveWithTagLib(const QString& path, int version, int pictureSize, bool withTrailer) {
    id3v2_files::saveWithTagLib(path, version, QStringLiteral("Old title"), pictureSize,
                                withTrailer);
    const QByteArray bytes = readAll(path);
    TagLib::MPEG::File file(QFile::encodeName(path).constData());
    const auto tagSize = static_cast<qsizetype>(file.ID3v2Tag()->header()->completeTagSize());
    const qsizetype trailerSize = withTrailer ? 128 : 0;
    return {bytes.left(tagSize), bytes.mid(tagSize, bytes.size() - tagSize - trailerSize),
            bytes.right(trailerSize)};
}

std::optional<std::string> titleReplaced(std::string_view tag) {
    std::string bytes(tag);
    const std::size_t at = bytes.find("Old title");
    if (at == std::string::npos) {
        return std::nullopt;
    }
    bytes.replace(at, 9, "New title");
    return bytes;
}

// A tag TagLib renders anew in the old one's version, with a comment of `commentSize`
// characters and a picture of `pictureSize` bytes, so larger than most.
tag::Id3v2Update rendered(int commentSize, int pictureSize = 0) {
    return [=](std::string_view tag) -> std::optional<std::string> {
        return id3v2_files::renderedTag(tag[3], QStringLiteral("New title"), commentSize,
                                        pictureSize)
            .toStdString();
    };
}

std::optional<std::string> pictureChanged(std::string_view tag) {
    std::string bytes(tag);
    std::replace(bytes.begin(), bytes.end(), '\x5a', '\x5b');
    return bytes;
}

QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

ino_t inodeOf(const QString& path) {
    struct stat status {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_ino;
}

struct SaveCase {
    const char* what;
    std::function<FileParts(const QString& path)> make;
    tag::Id3v2Update update;
    Id3v2 id3v2;
    bool rewritten;
    QString id3v2TitleAfter;  // as TagLib and mutagen read it
};

// Files that other tools tagged, saved as the window saves them, then read back by TagLib and
// by mutagen: the new ID3v2 tag in place or in a rewritten file, the trailer saved, the audio
// byte for byte as it was.
TEST(TagsWrite, SavesBothTagsOfFilesOtherToolsMade) {
    const QString oldTitle = QStringLiteral("Old title");
    const QString newTitle = QStringLiteral("New title");
    const auto handmade = [](int version, int padding, bool footer, bool withTrailer) {
        return [=](const QString& path) {
            const QByteArray titleFrame = version == 2 ? "TT2" : "TIT2";
            return writeParts(
                path,
                {id3v2_files::handmadeTag(version, {{titleFrame, "Old title"}}, padding, footer),
                 audio(), withTrailer ? test_files::trailer("Old") : QByteArray()});
        };
    };
    const auto byTagLib = [](int version, int pictureSize, bool withTrailer) {
        return [=](const QString& path) {
            return saveWithTagLib(path, version, pictureSize, withTrailer);
        };
    };
    const std::vector<SaveCase> cases = {
        {"2.3 with padding, same size", byTagLib(3, 0, true), titleReplaced, Id3v2::Saved, false,
         newTitle},
        {"2.4, grown", byTagLib(4, 0, true), rendered(3000), Id3v2::Saved, true, newTitle},
        {"2.4 with a footer, same size", handmade(4, 100, true, true), titleReplaced, Id3v2::Saved,
         false, newTitle},
        {"2.2, which the update leaves", handmade(2, 50, false, true),
         [](std::string_view) { return std::nullopt; }, Id3v2::Unchanged, false, oldTitle},
        {"2.3 without padding, grown", handmade(3, 0, false, true), rendered(10), Id3v2::Saved,
         true, newTitle},
        {"a 300 KB picture, the title changed", byTagLib(3, 300'000, true), titleReplaced,
         Id3v2::Saved, false, newTitle},
        {"a 300 KB picture, changed: too large for the journal", byTagLib(3, 300'000, true),
         pictureChanged, Id3v2::Saved, true, oldTitle},
        {"a 300 KB picture, ID3v2 only, grown", byTagLib(4, 300'000, false), rendered(0, 310'000),
         Id3v2::Saved, true, newTitle},
        {"ID3v2 only, same size", byTagLib(4, 0, false), titleReplaced, Id3v2::Saved, false,
         newTitle},
        {"the update returns the same tag", byTagLib(3, 0, true),
         [](std::string_view tag) { return std::string(tag); }, Id3v2::Unchanged, false, oldTitle},
        {"no ID3v2 tag",
         [](const QString& path) {
             return writeParts(path, {{}, audio(), {}});
         },
         nullptr, Id3v2::None, false, QString()},
    };
    QTemporaryDir folder;
    QStringList paths;
    std::vector<Titles> expected;
    for (const SaveCase& c : cases) {
        const QString path = folder.filePath(QString::number(paths.size()) + ".mp3");
        const FileParts parts = c.make(path);
        const ino_t inode = inodeOf(path);
        std::optional<std::string> seen;
        std::optional<std::string> newTag;
        const tag::Id3v2Update update = [&](std::string_view tagInFile) {
            seen = std::string(tagInFile);
            newTag = c.update(tagInFile);
            return newTag;
        };

        const tag::TagsWrite written = tag::writeTags(path.toStdString(), editedTrailer(), update);

        EXPECT_TRUE(written.trailer.saved) << c.what << ": " << written.trailer.reason;
        EXPECT_EQ(written.id3v2, c.id3v2) << c.what << ": " << written.id3v2Reason;
        EXPECT_EQ(written.rewritten, c.rewritten) << c.what;
        EXPECT_EQ(inodeOf(path) != inode, c.rewritten) << c.what;
        EXPECT_EQ(seen.value_or(""), parts.id3v2.toStdString()) << c.what;
        const QByteArray tagAfter = newTag ? QByteArray::fromStdString(*newTag) : parts.id3v2;
        EXPECT_EQ(readAll(path), tagAfter + parts.audio + savedTrailer(parts.trailer)) << c.what;
        EXPECT_EQ(id3v2_files::titlesByTagLib(path),
                  (Titles{c.id3v2TitleAfter, QStringLiteral("Saved title")}))
            << c.what;
        paths << path;
        expected.push_back({c.id3v2TitleAfter, QStringLiteral("Saved title")});
    }
    EXPECT_EQ(id3v2_files::titlesByMutagen(paths), expected);
    EXPECT_EQ(namesIn(folder.path()).size(), paths.size()) << "a new file was left behind";
}

// Root may write anything, so the file-size limit is how a test makes a growing file fail.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        if (bytes > 0) {
            const rlimit capped{bytes, saved_.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &capped);
        }
    }
    ~FileSizeCap() { ::setrlimit(RLIMIT_FSIZE, &saved_); }

private:
    rlimit saved_{};
};

auto failingWith(int error) {
    return [error](auto...) {
        errno = error;
        return -1;
    };
}

enum class Left { AsItWas, NewTrailer, BothNew };

struct FaultCase {
    const char* what;
    bool rewrite;  // the new ID3v2 tag is larger, so the file is rewritten for it
    std::function<void(tag::WriterSystemCalls&)> fault;
    bool trailerSaved;
    Id3v2 id3v2;
    std::string reason;  // the ID3v2 tag's
    Left left;
    std::function<void(const QString& path)> prepare = nullptr;
    bool sizeCapped = false;  // no file may grow past the old one's size
};

// Every failure says which tag was saved and changes nothing else: no new file is left, and a
// tag that was not saved is byte for byte the old one.
TEST(TagsWrite, AFailureSaysWhichTagWasSavedAndChangesNothingElse) {
    const std::string disk = "the disk reported an error";
    const std::string rewriteNeeded = "the file must be rewritten for it, but ";
    const std::vector<FaultCase> cases = {
        {"in place: EIO while the write is recorded", false,
         [](auto& calls) { calls.fsetxattr = failingWith(EIO); }, false, Id3v2::NotSaved, disk,
         Left::AsItWas},
        {"in place: the disk fills in the middle of the write", false,
         [](auto& calls) {
             calls.pwrite = [n = 0](int fd, const void* data, size_t size, off_t at) mutable {
                 if (++n == 2) {
                     errno = ENOSPC;
                     return ssize_t{-1};
                 }
                 return ::pwrite(fd, data, n == 1 ? size / 2 : size, at);
             };
         },
         false, Id3v2::NotSaved, "the disk is full", Left::AsItWas},
        {"in place: the record stays after the bytes are on disk", false,
         [](auto& calls) { calls.fremovexattr = failingWith(EIO); }, true, Id3v2::Saved, "",
         Left::BothNew},
        {"in place: no extended attributes (FAT), so rewritten", false,
         [](auto& calls) { calls.fsetxattr = failingWith(ENOTSUP); }, true, Id3v2::Saved, "",
         Left::BothNew},
        {"rewrite: no write permission on the folder", true,
         [](auto& calls) { calls.openat = failingWith(EACCES); }, true, Id3v2::NotSaved,
         rewriteNeeded + "a new file could not be made in its folder: permission denied",
         Left::NewTrailer},
        {"rewrite: the disk fills", true,
         [](auto& calls) { calls.copy_file_range = failingWith(ENOSPC); }, true, Id3v2::NotSaved,
         rewriteNeeded + "the new file could not be written: the disk is full", Left::NewTrailer},
        {"rewrite: EIO flushing the new file", true,
         [](auto& calls) {
             calls.fdatasync = [n = 0](int fd) mutable {
                 return ++n == 1 ? failingWith(EIO)() : ::fdatasync(fd);
             };
         },
         true, Id3v2::NotSaved, rewriteNeeded + "the new file could not be written: " + disk,
         Left::NewTrailer},
        {"rewrite: the file-size limit", true, [](auto&) {}, true, Id3v2::NotSaved,
         rewriteNeeded + "the new file could not be written: the file may not grow any larger",
         Left::NewTrailer, nullptr, true},
        {"rewrite: an extended attribute cannot be kept", true,
         [](auto& calls) {
             calls.fsetxattr = [](int fd, const char* name, const void* value, size_t size,
                                  int flags) {
                 return std::string_view(name) == tag::kJournalAttribute
                            ? ::fsetxattr(fd, name, value, size, flags)
                            : failingWith(EPERM)();
             };
         },
         true, Id3v2::NotSaved,
         rewriteNeeded + "a new file could not keep its extended attribute user.origin: "
                         "permission denied",
         Left::NewTrailer,
         [](const QString& path) {
             ::setxattr(QFile::encodeName(path).constData(), "user.origin", "ripper", 6, 0);
         }},
        {"rewrite: the new file cannot take the old one's place", true,
         [](auto& calls) { calls.renameat = failingWith(EIO); }, true, Id3v2::NotSaved,
         rewriteNeeded + "the new file could not take the old one's place: " + disk,
         Left::NewTrailer},
        {"rewrite: the folder cannot be flushed", true,
         [](auto& calls) { calls.fsync = failingWith(EIO); }, false, Id3v2::NotSaved,
         "its folder could not be flushed to the disk: " + disk, Left::BothNew},
        {"rewrite: other hard links", true, [](auto&) {}, true, Id3v2::NotSaved,
         rewriteNeeded + "it has other hard links, which a new file would break apart",
         Left::NewTrailer,
         [](const QString& path) {
             QFile::link(path, path + ".link");  // a symbolic link counts for nothing
             ::link(QFile::encodeName(path).constData(),
                    QFile::encodeName(path + ".hard").constData());
         }},
    };
    for (const FaultCase& c : cases) {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("song.mp3"));
        const FileParts parts = saveWithTagLib(path, 3, 0, true);
        if (c.prepare) {
            c.prepare(path);
        }
        const QStringList namesBefore = namesIn(folder.path());
        const QByteArray before = readAll(path);
        const tag::Id3v2Update update = c.rewrite ? rendered(3000) : titleReplaced;
        const QByteArray newTag = QByteArray::fromStdString(*update(parts.id3v2.toStdString()));
        tag::WriterSystemCalls calls;
        c.fault(calls);

        tag::TagsWrite written;
        {
            const FileSizeCap cap(c.sizeCapped ? static_cast<rlim_t>(before.size()) : 0);
            written = tag::writeTags(path.toStdString(), editedTrailer(), update, calls);
        }

        EXPECT_EQ(written.trailer.saved, c.trailerSaved)
            << c.what << ": " << written.trailer.reason;
        EXPECT_EQ(written.id3v2, c.id3v2) << c.what;
        EXPECT_EQ(written.id3v2Reason, c.reason) << c.what;
        if (!c.trailerSaved) {
            EXPECT_EQ(written.trailer.reason, c.reason) << c.what;
        }
        const tag::TrailerRead click = tag::readTrailer(path.toStdString());
        EXPECT_NE(click.recovery.outcome, tag::JournalRecovery::Outcome::Failed) << c.what;
        const QByteArray trailer = savedTrailer(parts.trailer);
        const std::map<Left, QByteArray> left = {
            {Left::AsItWas, before},
            {Left::NewTrailer, parts.id3v2 + parts.audio + trailer},
            {Left::BothNew, newTag + parts.audio + trailer}};
        EXPECT_EQ(readAll(path), left.at(c.left)) << c.what;
        EXPECT_EQ(namesIn(folder.path()), namesBefore) << c.what;
        EXPECT_LT(
            ::getxattr(QFile::encodeName(path).constData(), tag::kJournalAttribute, nullptr, 0), 0)
            << c.what;
    }
}

std::map<std::string, std::string> attributesOf(const std::string& path) {
    std::string names(4096, '\0');
    names.resize(static_cast<std::size_t>(
        std::max<ssize_t>(0, ::listxattr(path.c_str(), names.data(), names.size()))));
    std::map<std::string, std::string> attributes;
    for (std::size_t at = 0; at < names.size(); at += std::strlen(names.c_str() + at) + 1) {
        std::string value(4096, '\0');
        value.resize(static_cast<std::size_t>(
            ::getxattr(path.c_str(), names.c_str() + at, value.data(), value.size())));
        attributes[names.c_str() + at] = value;
    }
    return attributes;
}

// A file rewritten for a larger ID3v2 tag keeps its owner, group, permissions, ACL and other
// extended attributes; one whose owner a new file could not take is not rewritten.
TEST(TagsWrite, ARewriteKeepsOwnerPermissionsAclAndAttributes) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("song.mp3"));
    const std::string name = QFile::encodeName(path).toStdString();
    saveWithTagLib(path, 4, 0, true);
    const bool root = ::getuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(name.c_str(), 4321, 4322), 0);
    }
    ASSERT_EQ(::chmod(name.c_str(), 0640), 0);
    const acl_t acl = ::acl_from_text("u::rw-,u:4323:rw-,g::r--,m::rw-,o::---");
    ASSERT_EQ(::acl_set_file(name.c_str(), ACL_TYPE_ACCESS, acl), 0);
    ::acl_free(acl);
    ASSERT_EQ(::setxattr(name.c_str(), "user.origin", "ripper", 6, 0), 0);
    const std::map<std::string, std::string> attributes = attributesOf(name);
    ASSERT_TRUE(attributes.contains("system.posix_acl_access"));
    struct stat before {};
    ::stat(name.c_str(), &before);

    const tag::TagsWrite written = tag::writeTags(name, editedTrailer(), rendered(3000));

    ASSERT_TRUE(written.rewritten) << written.id3v2Reason;
    struct stat after {};
    ::stat(name.c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(attributesOf(name), attributes);

    if (root) {
        tag::WriterSystemCalls calls;
        calls.fchown = failingWith(EPERM);
        const tag::TagsWrite notOwned =
            tag::writeTags(name, editedTrailer(), rendered(5000), calls);
        EXPECT_TRUE(notOwned.trailer.saved);
        EXPECT_EQ(notOwned.id3v2, Id3v2::NotSaved);
        EXPECT_EQ(notOwned.id3v2Reason,
                  "the file must be rewritten for it, but a new file could not keep its owner: "
                  "permission denied");
        EXPECT_EQ(inodeOf(path), after.st_ino);
    }
}

struct HeaderCase {
    const char* what;
    std::string header;
    std::optional<std::size_t> size;
};

TEST(Id3v2Extent, CountsHeaderFramesPaddingAndAFooterOfVersionsTwoToFour) {
    using namespace std::string_literals;
    const std::vector<HeaderCase> cases = {
        {"2.3, 257 bytes after the header", "ID3\x03\0\0\0\0\x02\x01"s, 10 + 257},
        {"2.2", "ID3\x02\0\0\0\0\0\x10"s, 10 + 16},
        {"2.4 with a footer", "ID3\x04\0\x10\0\0\0\x10"s, 10 + 16 + 10},
        {"2.3 with the footer flag, which it does not have", "ID3\x03\0\x10\0\0\0\x10"s, 10 + 16},
        {"the largest size", "ID3\x04\0\0\x7f\x7f\x7f\x7f"s, 10 + (1U << 28) - 1},
        {"version 5", "ID3\x05\0\0\0\0\0\x10"s, std::nullopt},
        {"version 1", "ID3\x01\0\0\0\0\0\x10"s, std::nullopt},
        {"an unknown revision", "ID3\x03\xff\0\0\0\0\x10"s, std::nullopt},
        {"a size byte that is not syncsafe", "ID3\x03\0\0\0\0\x80\x10"s, std::nullopt},
        {"lower case", "id3\x03\0\0\0\0\0\x10"s, std::nullopt},
        {"shorter than a header", "ID3\x03\0\0\0\0\0"s, std::nullopt},
    };
    for (const HeaderCase& c : cases) {
        EXPECT_EQ(tag::id3v2TagSize(c.header), c.size) << c.what;
    }
}

}  // namespace

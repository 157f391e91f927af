#include <gtest/gtest.h>
#include <sys/acl.h>
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
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "storage/write_journal.h"
#include "support/id3v2_files.h"
#include "support/id3v2_tags.h"
#include "support/temp_files.h"
#include "support/write_faults.h"
#include "tag/id3v2_extent.h"
#include "tag/tags_write.h"
#include "tag/trailer_file.h"

namespace {

using Id3v2 = id3::TagsWrite::Id3v2;
using id3v2_files::Titles;
using test_files::failingWith;
using test_files::readAll;
using test_files::writeAll;

id3::EditedTag editedTrailer() {
    id3::TagRecord record;
    record.store(id3::TagField::Tag, "TAG");
    record.store(id3::TagField::Title, "Saved title");
    return {record, 0};
}

// The trailer a save writes over `old`, or after a file without one: a genre that TagLib
// stores for none (255) stays, as after any save.
QByteArray savedTrailer(const QByteArray& old = {}) {
    std::optional<id3::TagRecord> inFile;
    if (!old.isEmpty()) {
        id3::TagRecord::Bytes bytes{};
        std::copy(old.begin(), old.end(), bytes.begin());
        inFile = id3::TagRecord::decode(bytes);
    }
    return test_files::bytesOf(id3::savedTrailer(editedTrailer(), inFile));
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
id3::Id3v2Update rendered(int commentSize, int pictureSize = 0) {
    return [=](std::string_view tag) -> std::optional<std::string> {
        return test_tags::renderedTag(tag[3], QStringLiteral("New title"), commentSize, pictureSize)
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
    id3::Id3v2Update update;
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
                {test_tags::handmadeTag(version, {{titleFrame, "Old title"}}, padding, footer),
                 test_files::mpegAudio(), withTrailer ? test_files::trailer("Old") : ""});
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
        {"no ID3v2 tag",
         [](const QString& path) {
             return writeParts(path, {{}, test_files::mpegAudio(), {}});
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
        const id3::Id3v2Update update = [&](std::string_view tagInFile) {
            seen = std::string(tagInFile);
            newTag = c.update(tagInFile);
            return newTag;
        };

        const id3::TagsWrite written =
            id3::writeTags(test_files::pathOf(path), editedTrailer(), update);

        EXPECT_TRUE(written.trailer.saved) << c.what << ": " << written.trailer.reason;
        EXPECT_EQ(written.id3v2, c.id3v2) << c.what << ": " << written.id3v2Reason;
        EXPECT_EQ(written.rewritten, c.rewritten) << c.what;
        EXPECT_EQ(inodeOf(path) != inode, c.rewritten) << c.what;
        EXPECT_EQ(seen.value_or(""), parts.id3v2.toStdString()) << c.what;
        const QByteArray tagAfter = newTag ? QByteArray::fromStdString(*newTag) : parts.id3v2;
        EXPECT_EQ(readAll(path), tagAfter + parts.audio + savedTrailer(parts.trailer)) << c.what;
        expected.push_back({c.id3v2TitleAfter, QStringLiteral("Saved title")});
        EXPECT_EQ(id3v2_files::titlesByTagLib(path), expected.back()) << c.what;
        paths << path;
    }
    EXPECT_EQ(id3v2_files::titlesByMutagen(paths), expected);
    EXPECT_EQ(namesIn(folder.path()).size(), paths.size()) << "a new file was left behind";
}

// Its extended attributes, ACLs among them, with its owner, group and permissions.
std::map<std::string, std::string> attributesOf(const QString& file) {
    const std::string path = QFile::encodeName(file).toStdString();
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
    struct stat status {};
    ::stat(path.c_str(), &status);
    attributes["owner, group, mode"] = std::to_string(status.st_uid) + ", " +
                                       std::to_string(status.st_gid) + ", " +
                                       std::to_string(status.st_mode);
    return attributes;
}

// Another owner (where the test may give one), permissions, an ACL and an attribute of its own.
void giveOwnerAndAttributes(const QString& file) {
    const std::string path = QFile::encodeName(file).toStdString();
    if (::getuid() == 0) {
        ::chown(path.c_str(), 4321, 4322);
    }
    ::chmod(path.c_str(), 0640);
    const acl_t acl = ::acl_from_text("u::rw-,u:4323:rw-,g::r--,m::rw-,o::---");
    ::acl_set_file(path.c_str(), ACL_TYPE_ACCESS, acl);
    ::acl_free(acl);
    ::setxattr(path.c_str(), "user.origin", "ripper", 6, 0);
}

enum class Left { AsItWas, NewTrailer, BothNew, AsAnotherProgramLeftIt };

// Another program that retags the file while it is saved: after this save read the file and
// just before it writes in place, or between the copy of a rewrite and its rename.
enum class Meanwhile { Never, BeforeTheWriteInPlace, BeforeTheRename };

struct AnotherProgram {
    Meanwhile when = Meanwhile::Never;
    std::function<QByteArray(QByteArray file)> retag;
    bool keepsModificationTime = false;
};

// The file with its ID3v2 tag grown by `padding` bytes, as a tag editor grows it.
QByteArray withId3v2Grown(QByteArray file, int padding) {
    const auto tagSize = static_cast<int>(*id3::id3v2TagSize(file.left(10).toStdString()));
    QByteArray size(4, '\0');
    for (int i = 3, body = tagSize - 10 + padding; i >= 0; --i, body >>= 7) {
        size[i] = static_cast<char>(body & 0x7f);
    }
    return file.replace(6, 4, size).insert(tagSize, QByteArray(padding, '\0'));
}

struct FaultCase {
    const char* what;
    bool rewrite;  // the new ID3v2 tag is larger, so the file is rewritten for it
    std::function<void(storage::SystemCalls&)> fault;
    bool trailerSaved;
    Id3v2 id3v2;
    std::string reason;  // the ID3v2 tag's
    Left left;
    std::function<void(const QString& path)> prepare = nullptr;
    bool sizeCapped = false;  // no file may grow past the old one's size
    bool asRoot = false;      // only root can give a file to another owner
    AnotherProgram anotherProgram = {};
};

// A save during which another program retags the file: neither tag is written, and the file
// stays as that program left it.
FaultCase retaggedMeanwhile(const char* what, bool rewrite, AnotherProgram anotherProgram) {
    return {what,
            rewrite,
            [](auto&) {},
            false,
            Id3v2::NotSaved,
            id3::kChangedWhileSaved,
            Left::AsAnotherProgramLeftIt,
            nullptr,
            false,
            false,
            std::move(anotherProgram)};
}

// Every failure says which tag was saved and changes nothing else: no new file is left, and a
// tag that was not saved is byte for byte the old one. A rewritten file keeps its owner,
// group, permissions, ACL and extended attributes; one whose owner or attributes a new file
// could not keep is not rewritten. A file that another program changed while it was saved is
// left as that program left it, with neither tag written.
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
        {"rewrite: owner, group, permissions, ACL and attributes kept", true, [](auto&) {}, true,
         Id3v2::Saved, "", Left::BothNew, giveOwnerAndAttributes},
        {"rewrite: an owner a new file cannot take", true,
         [](auto& calls) { calls.fchown = failingWith(EPERM); }, true, Id3v2::NotSaved,
         rewriteNeeded + "a new file could not keep its owner: permission denied", Left::NewTrailer,
         giveOwnerAndAttributes, false, true},
        {"rewrite: an extended attribute a new file cannot keep", true,
         [](auto& calls) {
             calls.fsetxattr = [](int fd, const char* name, const void* value, size_t size,
                                  int flags) {
                 return std::string_view(name) == "user.origin"
                            ? failingWith(EPERM)()
                            : ::fsetxattr(fd, name, value, size, flags);
             };
         },
         true, Id3v2::NotSaved,
         rewriteNeeded + "a new file could not keep its extended attribute user.origin: "
                         "permission denied",
         Left::NewTrailer, giveOwnerAndAttributes},
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
        retaggedMeanwhile(
            "in place: another program retags the trailer after the read", false,
            {Meanwhile::BeforeTheWriteInPlace,
             [](QByteArray file) { return file.replace(file.size() - 125, 3, "Oth"); }}),
        retaggedMeanwhile("rewrite: another program grows the ID3v2 tag during the copy", true,
                          {Meanwhile::BeforeTheRename,
                           [](QByteArray file) { return withId3v2Grown(file, 200); }}),
        retaggedMeanwhile("rewrite: another program changes the ID3v2 tag, keeping size and time",
                          true,
                          {Meanwhile::BeforeTheRename,
                           [](QByteArray file) {
                               return file.replace(file.indexOf("Old title"), 9, "Odd title");
                           },
                           true}),
    };
    for (const FaultCase& c : cases) {
        if (c.asRoot && ::getuid() != 0) {
            continue;
        }
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("song.mp3"));
        const FileParts parts = saveWithTagLib(path, 3, 0, true);
        if (c.prepare) {
            c.prepare(path);
        }
        const QStringList namesBefore = namesIn(folder.path());
        const QByteArray before = readAll(path);
        const std::map<std::string, std::string> attributes = attributesOf(path);
        const id3::Id3v2Update update = c.rewrite ? rendered(3000) : titleReplaced;
        const QByteArray newTag = QByteArray::fromStdString(*update(parts.id3v2.toStdString()));
        storage::SystemCalls calls;
        c.fault(calls);
        QByteArray retagged;
        const auto anotherProgramRetags = [&] {
            if (!retagged.isEmpty()) {
                return;
            }
            struct stat status {};
            ::stat(QFile::encodeName(path).constData(), &status);
            retagged = c.anotherProgram.retag(readAll(path));
            writeAll(path, retagged);
            if (c.anotherProgram.keepsModificationTime) {
                const timespec times[2] = {status.st_atim, status.st_mtim};
                ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
            }
        };
        if (c.anotherProgram.when == Meanwhile::BeforeTheWriteInPlace) {
            calls.fsync = [&](int fd) {
                anotherProgramRetags();
                return ::fsync(fd);
            };
        } else if (c.anotherProgram.when == Meanwhile::BeforeTheRename) {
            calls.fdatasync = [&](int fd) {
                anotherProgramRetags();
                return ::fdatasync(fd);
            };
        }

        id3::TagsWrite written;
        {
            std::optional<test_files::FileSizeCap> cap;
            if (c.sizeCapped) {
                cap.emplace(static_cast<rlim_t>(before.size()));
            }
            written = id3::writeTags(test_files::pathOf(path), editedTrailer(), update, calls);
        }

        EXPECT_EQ(written.trailer.saved, c.trailerSaved)
            << c.what << ": " << written.trailer.reason;
        EXPECT_EQ(written.id3v2, c.id3v2) << c.what;
        EXPECT_EQ(written.id3v2Reason, c.reason) << c.what;
        if (!c.trailerSaved) {
            EXPECT_EQ(written.trailer.reason, c.reason) << c.what;
        }
        const id3::TrailerRead click = id3::readTrailerForEditing(test_files::pathOf(path));
        EXPECT_NE(click.recovery.outcome, storage::JournalRecovery::Outcome::Failed) << c.what;
        const QByteArray trailer = savedTrailer(parts.trailer);
        const std::map<Left, QByteArray> left = {
            {Left::AsItWas, before},
            {Left::NewTrailer, parts.id3v2 + parts.audio + trailer},
            {Left::BothNew, newTag + parts.audio + trailer},
            {Left::AsAnotherProgramLeftIt, retagged}};
        EXPECT_EQ(readAll(path), left.at(c.left)) << c.what;
        EXPECT_EQ(namesIn(folder.path()), namesBefore) << c.what;
        EXPECT_EQ(attributesOf(path), attributes) << c.what;
    }
}

}  // namespace

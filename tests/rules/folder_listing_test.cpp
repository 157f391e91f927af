#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

#include "browser/folder_listing.h"
#include "support/temp_files.h"

namespace {

using core::FilePath;
using test_files::pathOf;

TEST(FoldersDownTo, ListsTheRootThenEachFolderOnTheWay) {
    const QVector<browser::FolderStep> steps = browser::foldersDownTo(FilePath("/a/b\xE9/c"));
    ASSERT_EQ(steps.size(), 4);
    EXPECT_EQ(steps[0].path, FilePath("/"));
    EXPECT_EQ(steps[0].name, FilePath("/"));
    EXPECT_EQ(steps[2].path, FilePath("/a/b\xE9"));
    EXPECT_EQ(steps[2].name, FilePath("b\xE9"));
    EXPECT_EQ(steps[3].path, FilePath("/a/b\xE9/c"));
    EXPECT_EQ(browser::foldersDownTo(FilePath("/")).size(), 1);
}

TEST(AbsoluteClean, ResolvesFromTheCurrentFolderAndKeepsTheBytes) {
    const QByteArray here = QDir::currentPath().toUtf8();
    const std::vector<std::pair<QByteArray, QByteArray>> cases = {
        {"/a/./b\xE9//c/../", "/a/b\xE9"}, {"/", "/"}, {"/..", "/"},
        {"x\xFF", here + "/x\xFF"},        {"", here}, {".", here},
    };
    for (const auto& [path, clean] : cases) {
        EXPECT_EQ(browser::absoluteClean(FilePath(path)), FilePath(clean));
    }
}

TEST(FolderListing, ListsMatchingFilesAndVisibleSubfoldersOrTellsWhyNot) {
    QTemporaryDir dir;
    for (const char* name : {"b.mp3", "A.MP3", "track10.mp3", "track2.Mp3", ".hidden.mp3",
                             "notes.txt", "song.mp3.txt", "mp3"}) {
        test_files::writeAll(pathOf(dir.filePath(QLatin1String(name))), "x");
    }
    for (const char* name : {"folder.mp3", "Zoo", "apes", ".config"}) {
        QDir(dir.path()).mkdir(QLatin1String(name));
    }
    ::mkfifo(dir.filePath(QStringLiteral("pipe.mp3")).toLocal8Bit().constData(), 0644);
    QFile::link(dir.filePath(QStringLiteral("b.mp3")), dir.filePath(QStringLiteral("link.mp3")));
    QFile::link(dir.filePath(QStringLiteral("none")), dir.filePath(QStringLiteral("broken.mp3")));

    const QVector<FilePath> files = {FilePath("A.MP3"), FilePath("b.mp3"), FilePath("link.mp3"),
                                     FilePath("track2.Mp3"), FilePath("track10.mp3")};
    EXPECT_EQ(browser::matchingFiles(pathOf(dir.path()), QStringLiteral("*.mp3")), files);
    const QVector<FilePath> folders = {FilePath("apes"), FilePath("folder.mp3"), FilePath("Zoo")};
    EXPECT_EQ(browser::subfolders(pathOf(dir.path())), folders);
    EXPECT_TRUE(browser::whyUnlistable(pathOf(dir.path())).isEmpty());
    EXPECT_EQ(browser::whyUnlistable(pathOf(dir.filePath(QStringLiteral("gone")))),
              "it no longer exists");
    EXPECT_EQ(browser::whyUnlistable(pathOf(dir.filePath(QStringLiteral("b.mp3")))),
              "it is not a folder");

    // Named from outside the lists: where they go, or why they cannot.
    const FilePath folder = pathOf(dir.path());
    const std::vector<std::pair<const char*, browser::PlaceToOpen>> places = {
        {"", {.folder = folder}},
        {"Zoo/..", {.folder = folder}},
        {"b.mp3", {.folder = folder, .fileName = FilePath("b.mp3")}},
        {"A.MP3", {.folder = folder, .fileName = FilePath("A.MP3")}},
        {"link.mp3", {.folder = folder, .fileName = FilePath("link.mp3")}},
        {"gone.mp3", {.whyNot = "it does not exist"}},
        {"broken.mp3", {.whyNot = "it does not exist"}},
        {"notes.txt", {.whyNot = "it is no *.mp3 file"}},
        {".hidden.mp3", {.whyNot = "it is hidden"}},
        {"pipe.mp3", {.whyNot = "it is no file or folder"}},
    };
    for (const auto& [name, place] : places) {
        const browser::PlaceToOpen found = browser::placeToOpen(
            pathOf(dir.filePath(QLatin1String(name))), QStringLiteral("*.mp3"));
        EXPECT_EQ(found.folder, place.folder) << name;
        EXPECT_EQ(found.fileName, place.fileName) << name;
        EXPECT_EQ(found.whyNot, place.whyNot) << name;
    }
}

}  // namespace

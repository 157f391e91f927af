#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

class FolderListing : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"b.mp3", "A.MP3", "track10.mp3", "track2.Mp3", ".hidden.mp3",
                                 "notes.txt", "song.mp3.txt", "mp3"}) {
            test_files::writeAll(pathOf(dir_.filePath(QLatin1String(name))), "x");
        }
        QDir(dir_.path()).mkdir(QStringLiteral("folder.mp3"));
        QDir(dir_.path()).mkdir(QStringLiteral("Zoo"));
        QDir(dir_.path()).mkdir(QStringLiteral("apes"));
        QDir(dir_.path()).mkdir(QStringLiteral(".config"));
        ::mkfifo(dir_.filePath(QStringLiteral("pipe.mp3")).toLocal8Bit().constData(), 0644);
        QFile::link(dir_.filePath(QStringLiteral("b.mp3")),
                    dir_.filePath(QStringLiteral("link.mp3")));
        QFile::link(dir_.filePath(QStringLiteral("none")),
                    dir_.filePath(QStringLiteral("broken.mp3")));
    }

    QTemporaryDir dir_;
};

TEST_F(FolderListing, ListsMatchingRegularFilesAndLinksInReadingOrder) {
    const QVector<FilePath> expected = {FilePath("A.MP3"), FilePath("b.mp3"), FilePath("link.mp3"),
                                        FilePath("track2.Mp3"), FilePath("track10.mp3")};
    EXPECT_EQ(browser::matchingFiles(pathOf(dir_.path()), QStringLiteral("*.mp3")), expected);
}

TEST_F(FolderListing, ListsVisibleSubfoldersOnly) {
    const QVector<FilePath> expected = {FilePath("apes"), FilePath("folder.mp3"), FilePath("Zoo")};
    EXPECT_EQ(browser::subfolders(pathOf(dir_.path())), expected);
}

TEST_F(FolderListing, TellsWhyAFolderCannotBeListed) {
    EXPECT_TRUE(browser::whyUnlistable(pathOf(dir_.path())).isEmpty());
    EXPECT_FALSE(browser::whyUnlistable(pathOf(dir_.filePath(QStringLiteral("gone")))).isEmpty());
    EXPECT_FALSE(browser::whyUnlistable(pathOf(dir_.filePath(QStringLiteral("b.mp3")))).isEmpty());
}

}  // namespace

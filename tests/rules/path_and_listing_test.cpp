#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "browser/folder_listing.h"
#include "browser/selected_file_path.h"
#include "browser/volumes.h"
#include "support/temp_files.h"

namespace {

using core::FilePath;
using test_files::pathOf;

TEST(SelectedFilePath, AddsOneSlashExceptAfterTheRoot) {
    struct Case {
        QByteArray folder, name, path;
    };
    const std::vector<Case> cases = {
        {"/", "a.mp3", "/a.mp3"},
        {"/music", "a.mp3", "/music/a.mp3"},
        {"/music/old", "b c.mp3", "/music/old/b c.mp3"},
        {"/music", "", "/music/"},
        {"/", "", "/"},
        {"/caf\xE9", "\xFF.mp3", "/caf\xE9/\xFF.mp3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(browser::SelectedFilePath(FilePath(c.folder), FilePath(c.name)),
                  FilePath(c.path));
    }
}

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

TEST(Volumes, LeaveOutPseudoFileSystems) {
    for (const char* pseudo : {"proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs"}) {
        EXPECT_FALSE(browser::holdsRealStorage(pseudo)) << pseudo;
    }
    for (const char* real : {"ext4", "btrfs", "xfs", "vfat", "tmpfs", "nfs4"}) {
        EXPECT_TRUE(browser::holdsRealStorage(real)) << real;
    }
}

TEST(Volumes, TheRootVolumeHoldsEveryPathOnIt) {
    const FilePath here = pathOf(QDir::currentPath());
    EXPECT_TRUE(here.bytes().startsWith(browser::volumeOf(here).bytes()));
    EXPECT_EQ(browser::volumeOf(FilePath("/")), FilePath("/"));
    EXPECT_EQ(browser::displayName({FilePath("/media/stick"), "HOLIDAY"}),
              "/media/stick [HOLIDAY]");
    EXPECT_EQ(browser::displayName({FilePath("/media/caf\xE9"), ""}), "/media/caf\u00E9");
    EXPECT_EQ(browser::displayName({FilePath("/"), ""}), "/");
}

}  // namespace

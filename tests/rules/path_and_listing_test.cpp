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

TEST(SelectedFilePath, AddsOneSlashExceptAfterTheRoot) {
    struct Case {
        QString folder, name, path;
    };
    const std::vector<Case> cases = {
        {"/", "a.mp3", "/a.mp3"},
        {"/music", "a.mp3", "/music/a.mp3"},
        {"/music/old", "b c.mp3", "/music/old/b c.mp3"},
        {"/music", "", "/music/"},
        {"/", "", "/"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(browser::SelectedFilePath(c.folder, c.name), c.path) << c.folder.toStdString();
    }
}

TEST(FoldersDownTo, ListsTheRootThenEachFolderOnTheWay) {
    const QVector<browser::FolderStep> steps = browser::foldersDownTo(QStringLiteral("/a/b/c"));
    ASSERT_EQ(steps.size(), 4);
    EXPECT_EQ(steps[0].path, "/");
    EXPECT_EQ(steps[0].name, "/");
    EXPECT_EQ(steps[2].path, "/a/b");
    EXPECT_EQ(steps[2].name, "b");
    EXPECT_EQ(steps[3].path, "/a/b/c");
    EXPECT_EQ(browser::foldersDownTo(QStringLiteral("/")).size(), 1);
}

class FolderListing : public testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"b.mp3", "A.MP3", "track10.mp3", "track2.Mp3", ".hidden.mp3",
                                 "notes.txt", "song.mp3.txt", "mp3"}) {
            test_files::writeAll(dir_.filePath(QLatin1String(name)), "x");
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
    const QStringList expected = {"A.MP3", "b.mp3", "link.mp3", "track2.Mp3", "track10.mp3"};
    EXPECT_EQ(browser::matchingFiles(dir_.path(), QStringLiteral("*.mp3")), expected);
}

TEST_F(FolderListing, ListsVisibleSubfoldersOnly) {
    const QStringList expected = {"apes", "folder.mp3", "Zoo"};
    EXPECT_EQ(browser::subfolders(dir_.path()), expected);
}

TEST_F(FolderListing, TellsWhyAFolderCannotBeListed) {
    EXPECT_TRUE(browser::whyUnlistable(dir_.path()).isEmpty());
    EXPECT_FALSE(browser::whyUnlistable(dir_.filePath(QStringLiteral("gone"))).isEmpty());
    EXPECT_FALSE(browser::whyUnlistable(dir_.filePath(QStringLiteral("b.mp3"))).isEmpty());
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
    const QString volume = browser::volumeOf(QDir::currentPath());
    EXPECT_TRUE(QDir::currentPath().startsWith(volume));
    EXPECT_EQ(browser::displayName({"/media/stick", "HOLIDAY"}), "/media/stick [HOLIDAY]");
    EXPECT_EQ(browser::displayName({"/", ""}), "/");
}

}  // namespace

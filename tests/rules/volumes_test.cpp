#include <gtest/gtest.h>

#include <QDir>

#include "browser/volumes.h"
#include "support/temp_files.h"

namespace {

using core::FilePath;
using test_files::pathOf;

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

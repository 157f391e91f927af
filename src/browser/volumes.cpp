#include "browser/volumes.h"

#include <mntent.h>
#include <sys/stat.h>

#include <QStorageInfo>

#include <algorithm>
#include <array>
#include <memory>

namespace browser {

namespace {

struct Mount {
    QByteArray mountPoint;
    QByteArray fileSystemType;
};

// The mount table as the kernel gives it, its mount points as bytes (Qt's volume list spells a
// mount point that is not UTF-8 wrong).
QVector<Mount> mountTable() {
    QVector<Mount> mounts;
    const std::unique_ptr<FILE, decltype(&::endmntent)> table(::setmntent("/proc/self/mounts", "r"),
                                                              &::endmntent);
    if (!table) {
        return mounts;
    }
    mntent entry{};
    std::array<char, 4096> buffer{};
    while (::getmntent_r(table.get(), &entry, buffer.data(), static_cast<int>(buffer.size()))) {
        mounts.append({QByteArray(entry.mnt_dir), QByteArray(entry.mnt_type)});
    }
    return mounts;
}

bool isFolder(const QByteArray& path) {
    struct stat status {};
    return ::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Whether `path` is `folder` or lies inside it.
bool liesIn(const QByteArray& path, const QByteArray& folder) {
    if (folder == "/") {
        return path.startsWith('/');
    }
    return path.startsWith(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

}  // namespace

bool holdsRealStorage(const QByteArray& fileSystemType) {
    static constexpr std::array<const char*, 23> kPseudoFileSystems = {
        "proc",      "sysfs",      "cgroup",    "cgroup2",         "devpts",      "devtmpfs",
        "mqueue",    "securityfs", "debugfs",   "tracefs",         "pstore",      "bpf",
        "configfs",  "fusectl",    "hugetlbfs", "autofs",          "binfmt_misc", "efivarfs",
        "selinuxfs", "rpc_pipefs", "nsfs",      "fuse.gvfsd-fuse", "fuse.portal"};
    return std::none_of(kPseudoFileSystems.begin(), kPseudoFileSystems.end(),
                        [&](const char* pseudo) { return fileSystemType == pseudo; });
}

QVector<Volume> mountedVolumes() {
    QVector<Volume> volumes;
    for (const Mount& mount : mountTable()) {
        if (!holdsRealStorage(mount.fileSystemType) || !isFolder(mount.mountPoint)) {
            continue;
        }
        // The label is Qt's to find; it finds it for a mount point it can spell.
        const QString label = QByteArrayView(mount.mountPoint).isValidUtf8()
                                  ? QStorageInfo(QString::fromUtf8(mount.mountPoint)).name()
                                  : QString();
        volumes.append({core::FilePath(mount.mountPoint), label});
    }
    const auto byMountPoint = [](const Volume& a, const Volume& b) {
        return a.mountPoint < b.mountPoint;
    };
    const auto sameMountPoint = [](const Volume& a, const Volume& b) {
        return a.mountPoint == b.mountPoint;
    };
    std::sort(volumes.begin(), volumes.end(), byMountPoint);
    volumes.erase(std::unique(volumes.begin(), volumes.end(), sameMountPoint), volumes.end());
    return volumes;
}

core::FilePath volumeOf(const core::FilePath& path) {
    QByteArray deepest = "/";
    for (const Mount& mount : mountTable()) {
        if (mount.mountPoint.size() > deepest.size() && liesIn(path.bytes(), mount.mountPoint)) {
            deepest = mount.mountPoint;
        }
    }
    return core::FilePath(deepest);
}

QString displayName(const Volume& volume) {
    if (volume.label.isEmpty()) {
        return volume.mountPoint.readable();
    }
    return QStringLiteral("%1 [%2]").arg(volume.mountPoint.readable(), volume.label);
}

}  // namespace browser

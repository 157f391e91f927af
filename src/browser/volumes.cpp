#include "browser/volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <array>

#include "browser/local_name.h"

namespace browser {

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
    for (const QStorageInfo& storage : QStorageInfo::mountedVolumes()) {
        if (!storage.isValid() || !holdsRealStorage(storage.fileSystemType()) ||
            !QFileInfo(storage.rootPath()).isDir()) {
            continue;
        }
        volumes.append({storage.rootPath(), storage.name()});
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

QString volumeOf(const QString& path) {
    // Qt finds a volume only by a path it can spell, so it is asked about the deepest folder on
    // the way whose path is all UTF-8; it lists no volume mounted below any other folder.
    QString spelled = QDir::cleanPath(path);
    while (!isUtf8(spelled)) {
        spelled.truncate(std::max<qsizetype>(spelled.lastIndexOf(QLatin1Char('/')), 1));
    }
    const QStorageInfo storage(spelled);
    return storage.isValid() ? storage.rootPath() : QStringLiteral("/");
}

QString displayName(const Volume& volume) {
    if (volume.label.isEmpty()) {
        return volume.mountPoint;
    }
    return QStringLiteral("%1 [%2]").arg(volume.mountPoint, volume.label);
}

}  // namespace browser

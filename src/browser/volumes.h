#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include "core/file_path.h"

namespace browser {

struct Volume {
    core::FilePath mountPoint;  // absolute; "/" for the root volume
    QString label;              // empty where the volume has none
};

// False for the kernel's pseudo file systems (proc, sysfs, cgroup, devpts, ...), which hold no
// files of the user's.
bool holdsRealStorage(const QByteArray& fileSystemType);

// The mounted volumes that hold real storage and are mounted on a folder, in mount-point order.
QVector<Volume> mountedVolumes();

// The mount point of the volume that holds `path` (absolute and clean).
core::FilePath volumeOf(const core::FilePath& path);

// How the drive list shows a volume: its mount point, with its label where it has one.
QString displayName(const Volume& volume);

}  // namespace browser

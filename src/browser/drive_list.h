#pragma once

#include <QComboBox>
#include <QHash>
#include <QString>

#include "core/file_path.h"

namespace browser {

// The drop-down list of mounted volumes. A drive is named by its mount point. Each drive keeps
// its current folder: the last folder opened on it during this run, at first its mount point.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    explicit DriveList(QWidget* parent = nullptr);

    const core::FilePath& drive() const { return drive_; }
    // Selects `drive`; when it differs from the current one, driveChanged() follows at once.
    void setDrive(const core::FilePath& drive);

    core::FilePath currentFolderOf(const core::FilePath& drive) const;
    // Notes `folder` (absolute and clean) as its volume's current folder and shows that volume,
    // without a change event: the folder list is already where the user went.
    void followFolder(const core::FilePath& folder);

    void showPopup() override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

signals:
    void driveChanged();

private:
    void reloadVolumes();
    void showDrive(const core::FilePath& drive);

    core::FilePath drive_;
    QHash<QByteArray, core::FilePath> currentFolders_;  // by the drive's bytes
};

}  // namespace browser

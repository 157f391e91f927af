#include "browser/drive_list.h"

#include <QSignalBlocker>

#include "browser/volumes.h"

namespace browser {

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
    connect(this, &QComboBox::activated, this,
            [this](int index) { setDrive(core::FilePath(itemData(index).toByteArray())); });
}

void DriveList::setDrive(const core::FilePath& drive) {
    if (drive == drive_) {
        return;
    }
    drive_ = drive;
    showDrive(drive);
    emit driveChanged();
}

core::FilePath DriveList::currentFolderOf(const core::FilePath& drive) const {
    return currentFolders_.value(drive.bytes(), drive);
}

void DriveList::followFolder(const core::FilePath& folder) {
    const core::FilePath volume = volumeOf(folder);
    currentFolders_.insert(volume.bytes(), folder);
    drive_ = volume;
    showDrive(volume);
}

void DriveList::showPopup() {
    // Volumes come and go (a stick plugged in), so the list is read anew each time the user
    // turns to it (opens it, focuses it, turns the wheel over it), and not before: the window
    // starts with the current drive only.
    reloadVolumes();
    QComboBox::showPopup();
}

void DriveList::focusInEvent(QFocusEvent* event) {
    reloadVolumes();  // so that the arrow keys step through every drive
    QComboBox::focusInEvent(event);
}

void DriveList::wheelEvent(QWheelEvent* event) {
    if (!hasFocus()) {
        reloadVolumes();  // the wheel steps through the drives without focusing the list
    }
    QComboBox::wheelEvent(event);
}

void DriveList::reloadVolumes() {
    const QSignalBlocker quiet(this);
    clear();
    for (const Volume& volume : mountedVolumes()) {
        addItem(displayName(volume), volume.mountPoint.bytes());
    }
    showDrive(drive_);
}

void DriveList::showDrive(const core::FilePath& drive) {
    const QSignalBlocker quiet(this);
    int index = findData(drive.bytes());
    if (index < 0 && !drive.isEmpty()) {
        // A volume the mount table leaves out (a container's root, say) still gets its entry.
        addItem(drive.readable(), drive.bytes());
        index = count() - 1;
    }
    setCurrentIndex(index);
}

}  // namespace browser

#pragma once

#include <QComboBox>
#include <QHash>
#include <QString>

namespace browser {

// The drop-down list of mounted volumes. A drive is named by its mount point. Each drive keeps
// its current folder: the last folder opened on it during this run, at first its mount point.
class DriveList : public QComboBox {
    Q_OBJECT

public:
    explicit DriveList(QWidget* parent = nullptr);

    QString drive() const { return drive_; }
    // Selects `drive`; when it differs from the current one, driveChanged() follows at once.
    void setDrive(const QString& drive);

    QString currentFolderOf(const QString& drive) const;
    // Notes `folder` as its volume's current folder and shows that volume, without a change
    // event: the folder list is already where the user went.
    void followFolder(const QString& folder);

    void showPopup() override;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

signals:
    void driveChanged();

private:
    void reloadVolumes();
    void showDrive(const QString& drive);

    QString drive_;
    QHash<QString, QString> currentFolders_;
};

}  // namespace browser

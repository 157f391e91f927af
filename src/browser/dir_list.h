#pragma once

#include <QListWidget>
#include <QString>

#include "core/file_path.h"

namespace browser {

// The folder list: the root, the folders down to the current one (open), then the current
// folder's subfolders, each indented one step further. A click only highlights an entry; a
// double click or Enter opens it.
class DirList : public QListWidget {
    Q_OBJECT

public:
    explicit DirList(QWidget* parent = nullptr);

    const core::FilePath& path() const { return path_; }
    // Moves to `path` when it differs from the current one and can be listed; pathChanged()
    // follows at once. A folder that cannot be listed leaves the list where it is and raises
    // openFailed() instead.
    void setPath(const core::FilePath& path);

signals:
    void pathChanged();
    void openFailed(const core::FilePath& path, const QString& reason);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void openEntry(const QModelIndex& index);
    void fill();

    core::FilePath path_;
};

}  // namespace browser

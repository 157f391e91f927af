#pragma once

#include <QListWidget>
#include <QPersistentModelIndex>
#include <QString>

#include "core/file_path.h"

namespace browser {

// The list of one folder's files that match a wildcard pattern, regardless of case.
// fileClicked() follows every selection of an entry, by mouse or keyboard, and a click on the
// entry that is already selected.
class FileList : public QListWidget {
    Q_OBJECT

public:
    // Each entry holds its file's name as the folder gives it, its bytes; the entry's text is
    // the name as a person reads it.
    static constexpr int kNameRole = Qt::UserRole;

    explicit FileList(QWidget* parent = nullptr);

    const core::FilePath& path() const { return path_; }
    QString pattern() const { return pattern_; }
    // The selected file's name without its folder; empty when no file is selected.
    core::FilePath fileName() const;

    // Lists `folder` when it differs from the folder listed now.
    void setPath(const core::FilePath& folder);

signals:
    void fileClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void fill();

    core::FilePath path_;
    QString pattern_ = QStringLiteral("*.mp3");
    QPersistentModelIndex selectedBeforePress_;
};

}  // namespace browser

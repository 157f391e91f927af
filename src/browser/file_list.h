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

    // The row of the selected file; -1 when none is selected.
    int chosenRow() const;
    // Selects the entry in `row` as a click does: fileClicked() follows, also when it was
    // selected already.
    void chooseRow(int row);
    // Selects the entry of the file `name` as a click does, listing the folder again first when
    // the file came after the listing; nothing when the folder holds no such entry.
    void choose(const core::FilePath& name);

signals:
    void fileClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void fill();
    int rowOf(const core::FilePath& name) const;

    core::FilePath path_;
    QString pattern_ = QStringLiteral("*.mp3");
    QPersistentModelIndex selectedBeforePress_;
};

}  // namespace browser

#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace browser {

// Folders and names hold their bytes as fromLocalBytes() gives them (browser/local_name.h), so
// a name that is not UTF-8 names the same file on the way back to the system.

// Names of the regular files (and links to them) in `folder` that match the wildcard `pattern`
// regardless of case, hidden dot-files left out, sorted as a person reads them ("2" before "10").
QStringList matchingFiles(const QString& folder, const QString& pattern);

// Names of the subfolders of `folder`, hidden dot-folders left out, sorted the same way.
QStringList subfolders(const QString& folder);

struct FolderStep {
    QString path;  // absolute and clean
    QString name;  // what the folder list shows: "/" for the root, else the last component
};

// The root, then every folder down to `path` itself.
QVector<FolderStep> foldersDownTo(const QString& path);

// Why `folder` cannot be shown, or an empty string when it can be listed.
QString whyUnlistable(const QString& folder);

}  // namespace browser

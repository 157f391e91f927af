#pragma once

#include <QString>
#include <QVector>

#include "core/file_path.h"

namespace browser {

// Names of the regular files (and links to them) in `folder` that match the wildcard `pattern`
// regardless of case, as the user reads them; hidden dot-files left out; sorted as a person
// reads them ("2" before "10").
QVector<core::FilePath> matchingFiles(const core::FilePath& folder, const QString& pattern);

// Names of the subfolders of `folder`, hidden dot-folders left out, sorted the same way.
QVector<core::FilePath> subfolders(const core::FilePath& folder);

// `path` made absolute from the current folder, without ".", ".." or a "/" at its end.
core::FilePath absoluteClean(const core::FilePath& path);

struct FolderStep {
    core::FilePath path;  // absolute and clean
    core::FilePath name;  // what the folder list shows: "/" for the root, else the last component
};

// The root, then every folder down to `path` (absolute and clean) itself.
QVector<FolderStep> foldersDownTo(const core::FilePath& path);

// Why `folder` cannot be shown, or an empty string when it can be listed.
QString whyUnlistable(const core::FilePath& folder);

// Where the lists go for a path named from outside them (the command line, a drop, another
// start of the program): to a folder itself, and to a file's folder with the file chosen,
// where the file list shows it (a readable file whose name matches `pattern`).
struct PlaceToOpen {
    core::FilePath folder{};    // absolute and clean; empty when the path cannot be opened
    core::FilePath fileName{};  // the file to choose there; empty for a folder
    QString whyNot{};           // why the path cannot be opened, when it cannot
};
PlaceToOpen placeToOpen(const core::FilePath& path, const QString& pattern);

}  // namespace browser

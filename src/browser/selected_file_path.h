#pragma once

#include <QString>

namespace browser {

// The chosen file's full path: the folder, a "/" unless the folder already ends in one (the
// root), then the file name. With no file name it is the folder followed by "/". Folder and
// name hold their bytes as fromLocalBytes() gives them, so the path's bytes are the folder's,
// a "/" and the name's, whatever they are.
QString SelectedFilePath(const QString& folder, const QString& fileName);

}  // namespace browser

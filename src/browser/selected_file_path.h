#pragma once

#include <QString>

namespace browser {

// The chosen file's full path: the folder, a "/" unless the folder already ends in one (the
// root), then the file name. With no file name it is the folder followed by "/".
QString SelectedFilePath(const QString& folder, const QString& fileName);

}  // namespace browser

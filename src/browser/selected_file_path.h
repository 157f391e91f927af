#pragma once

#include "core/file_path.h"

namespace browser {

// The chosen file's full path: the folder, a "/" unless the folder already ends in one (the
// root), then the file name. With no file name it is the folder followed by "/".
core::FilePath SelectedFilePath(const core::FilePath& folder, const core::FilePath& fileName);

}  // namespace browser

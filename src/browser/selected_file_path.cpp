#include "browser/selected_file_path.h"

namespace browser {

core::FilePath SelectedFilePath(const core::FilePath& folder, const core::FilePath& fileName) {
    if (folder.bytes().endsWith('/')) {
        return core::FilePath(folder.bytes() + fileName.bytes());
    }
    return core::FilePath(folder.bytes() + '/' + fileName.bytes());
}

}  // namespace browser

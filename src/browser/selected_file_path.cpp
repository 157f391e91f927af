#include "browser/selected_file_path.h"

namespace browser {

QString SelectedFilePath(const QString& folder, const QString& fileName) {
    if (folder.endsWith(QLatin1Char('/'))) {
        return folder + fileName;
    }
    return folder + QLatin1Char('/') + fileName;
}

}  // namespace browser

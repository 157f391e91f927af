#include "browser/shown_name.h"

#include <QCoreApplication>
#include <QFont>
#include <QListWidgetItem>

namespace browser {

void showName(QListWidgetItem& item, const core::FilePath& name) {
    item.setText(name.readable());
    if (name.isUtf8()) {
        return;
    }
    // Only the slant is set, so the list's own font supplies the rest.
    QFont slanted;
    slanted.setItalic(true);
    item.setFont(slanted);
    item.setToolTip(QCoreApplication::translate("browser", "Name not in UTF-8; byte for byte: %1")
                        .arg(name.exactSpelling()));
}

}  // namespace browser

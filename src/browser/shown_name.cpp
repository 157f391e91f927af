#include "browser/shown_name.h"

#include <QCoreApplication>
#include <QFont>
#include <QListWidgetItem>

#include "browser/local_name.h"

namespace browser {

void showName(QListWidgetItem& item, const QString& name) {
    item.setText(readableName(name));
    if (isUtf8(name)) {
        return;
    }
    // Only the slant is set, so the list's own font supplies the rest.
    QFont slanted;
    slanted.setItalic(true);
    item.setFont(slanted);
    item.setToolTip(QCoreApplication::translate("browser", "Name not in UTF-8; byte for byte: %1")
                        .arg(exactSpelling(name)));
}

}  // namespace browser

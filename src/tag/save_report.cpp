#include "tag/save_report.h"

#include <QCoreApplication>
#include <QList>

namespace tag {

SaveReport saveReport(const QString& replaced, int codePage) {
    if (replaced.isEmpty()) {
        return {QCoreApplication::translate("tag", "Tag saved"), {}};
    }
    QStringList characters;
    for (const char32_t character : replaced.toUcs4()) {
        characters << QString::fromUcs4(&character, 1);
    }
    return {QCoreApplication::translate("tag", "Saved; %1 became ?").arg(characters.size()),
            QCoreApplication::translate("tag", "Not in code page %1, so saved as \"?\": %2")
                .arg(codePage)
                .arg(characters.join(QLatin1Char(' ')))};
}

}  // namespace tag

#include "app/save_report.h"

#include <QCoreApplication>
#include <QList>

SaveReport saveReport(const QString& replaced, int codePage, const QString& whyId3v2NotSaved) {
    QStringList characters;
    for (const char32_t character : replaced.toUcs4()) {
        characters << QString::fromUcs4(&character, 1);
    }
    const QString replacedNamed =
        characters.isEmpty()
            ? QString()
            : QCoreApplication::translate("Form1", "Not in code page %1, so saved as \"?\": %2")
                  .arg(codePage)
                  .arg(characters.join(QLatin1Char(' ')));
    if (!whyId3v2NotSaved.isEmpty()) {
        QStringList toolTip{QCoreApplication::translate("Form1", "The ID3v2 tag was not saved: %1.")
                                .arg(whyId3v2NotSaved)};
        if (!replacedNamed.isEmpty()) {
            toolTip << replacedNamed;
        }
        return {QCoreApplication::translate("Form1", "ID3v1 saved, ID3v2 not"),
                toolTip.join(QLatin1Char('\n'))};
    }
    if (characters.isEmpty()) {
        return {QCoreApplication::translate("Form1", "Tag saved"), {}};
    }
    return {QCoreApplication::translate("Form1", "Saved; %1 became ?").arg(characters.size()),
            replacedNamed};
}

#pragma once

#include <QString>

namespace tag {

// What the window's message line says after a save: "Tag saved", or, when characters of the
// boxes are not in the code page and were stored as "?", how many, with a tooltip naming them.
struct SaveReport {
    QString text;
    QString toolTip;
};

SaveReport saveReport(const QString& replaced, int codePage);

}  // namespace tag

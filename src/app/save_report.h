#pragma once

#include <QString>

// What the window's message line says after a save of the trailer: "Tag saved"; when the file's
// ID3v2 tag was to change but was not saved, that only the trailer was, with the reason in the
// tooltip; else, when characters of the boxes are not in the code page and were stored as "?"
// in the trailer, how many, with a tooltip naming them.
struct SaveReport {
    QString text;
    QString toolTip;
};

SaveReport saveReport(const QString& replaced, int codePage, const QString& whyId3v2NotSaved);

#include "browser/folder_listing.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace browser {

namespace {

void sortForPeople(QStringList& names) {
    // The "C" locale's collation compares code points only and knows no numbers; names sort
    // as in English there instead.
    const QLocale locale =
        QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
}

}  // namespace

QStringList matchingFiles(const QString& folder, const QString& pattern) {
    // Without QDir::System, FIFOs, sockets, devices and broken links stay out of the list.
    QStringList names = QDir(folder).entryList({pattern}, QDir::Files, QDir::Unsorted);
    sortForPeople(names);
    return names;
}

QStringList subfolders(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    sortForPeople(names);
    return names;
}

QVector<FolderStep> foldersDownTo(const QString& path) {
    QVector<FolderStep> steps{{QStringLiteral("/"), QStringLiteral("/")}};
    QString soFar;
    for (const QString& part : QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        soFar += QLatin1Char('/') + part;
        steps.append({soFar, part});
    }
    return steps;
}

QString whyUnlistable(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.exists()) {
        return QStringLiteral("it no longer exists");
    }
    if (!info.isDir()) {
        return QStringLiteral("it is not a folder");
    }
    if (!info.isReadable() || !info.isExecutable()) {
        return QStringLiteral("permission denied");
    }
    return {};
}

}  // namespace browser

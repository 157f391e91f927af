#include "browser/folder_listing.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <utility>
#include <vector>

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
    // Sort keys are made once a name, where compare() would redo the work in every comparison.
    std::vector<std::pair<QCollatorSortKey, QString>> keyed;
    keyed.reserve(static_cast<std::size_t>(names.size()));
    for (QString& name : names) {
        keyed.emplace_back(collator.sortKey(name), std::move(name));
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        const int order = a.first.compare(b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    for (qsizetype i = 0; i < names.size(); ++i) {
        names[i] = std::move(keyed[static_cast<std::size_t>(i)].second);
    }
}

// Whether a folder entry is a regular file or a link to one, asking the disk only where the
// folder listing does not tell.
bool isRegularFile(int folderFd, const dirent& entry) {
    if (entry.d_type == DT_REG) {
        return true;
    }
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
        return false;
    }
    struct stat status {};
    return ::fstatat(folderFd, entry.d_name, &status, 0) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

QStringList matchingFiles(const QString& folder, const QString& pattern) {
    // Read straight from the folder: on a folder of thousands of files, building a QFileInfo
    // for each entry costs several times the listing itself.
    QStringList names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) {
        return names;
    }
    const QRegularExpression wholeName =
        QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;  // hidden files, and "." and ".."
        }
        const QString name = QFile::decodeName(entry->d_name);
        if (wholeName.match(name).hasMatch() && isRegularFile(::dirfd(dir), *entry)) {
            names.append(name);
        }
    }
    ::closedir(dir);
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

#include "browser/folder_listing.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCollator>
#include <QDir>
#include <QRegularExpression>

#include <cerrno>

#include <algorithm>
#include <utility>
#include <vector>

#include "browser/local_name.h"

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
        keyed.emplace_back(collator.sortKey(readableName(name)), std::move(name));
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        const int order = a.first.compare(b.first);
        return order != 0 ? order < 0 : a.second < b.second;
    });
    for (qsizetype i = 0; i < names.size(); ++i) {
        names[i] = std::move(keyed[static_cast<std::size_t>(i)].second);
    }
}

// Whether a folder entry is of the type `mode` (S_IFREG, S_IFDIR) or a link to one, asking the
// disk only where the folder listing does not tell.
bool isOfType(int folderFd, const dirent& entry, mode_t mode) {
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
        return static_cast<mode_t>(DTTOIF(entry.d_type)) == mode;
    }
    struct stat status {};
    return ::fstatat(folderFd, entry.d_name, &status, 0) == 0 && (status.st_mode & S_IFMT) == mode;
}

// The names of the visible entries of `folder` of the type `mode`, read straight from the
// folder as bytes: on a folder of thousands of files, building a QFileInfo for each entry costs
// several times the listing itself, and QDir would spell names that are not UTF-8 wrong.
template <typename Wanted>
QStringList visibleEntries(const QString& folder, mode_t mode, Wanted wanted) {
    QStringList names;
    DIR* dir = ::opendir(localBytes(folder).constData());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;  // hidden entries, and "." and ".."
        }
        QString name = fromLocalBytes(entry->d_name);
        if (wanted(name) && isOfType(::dirfd(dir), *entry, mode)) {
            names.append(std::move(name));
        }
    }
    ::closedir(dir);
    sortForPeople(names);
    return names;
}

}  // namespace

QStringList matchingFiles(const QString& folder, const QString& pattern) {
    const QRegularExpression wholeName =
        QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive);
    // Matched as the user reads the name: the expression matches valid text only.
    return visibleEntries(folder, S_IFREG, [&](const QString& name) {
        return wholeName.match(readableName(name)).hasMatch();
    });
}

QStringList subfolders(const QString& folder) {
    return visibleEntries(folder, S_IFDIR, [](const QString&) { return true; });
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
    const QByteArray path = localBytes(folder);
    struct stat status {};
    if (::stat(path.constData(), &status) != 0) {
        return errno == EACCES ? QStringLiteral("permission denied")
                               : QStringLiteral("it no longer exists");
    }
    if (!S_ISDIR(status.st_mode)) {
        return QStringLiteral("it is not a folder");
    }
    if (::access(path.constData(), R_OK | X_OK) != 0) {
        return QStringLiteral("permission denied");
    }
    return {};
}

}  // namespace browser

#include "browser/folder_listing.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCollator>

#include <cerrno>

#include <algorithm>
#include <filesystem>
#include <utility>
#include <vector>

namespace browser {

namespace {

using core::FilePath;

void sortForPeople(QVector<FilePath>& names) {
    // The "C" locale's collation compares code points only and knows no numbers; names sort
    // as in English there instead.
    const QLocale locale =
        QLocale().language() == QLocale::C ? QLocale(QLocale::English) : QLocale();
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    // Sort keys are made once a name, where compare() would redo the work in every comparison.
    std::vector<std::pair<QCollatorSortKey, FilePath>> keyed;
    keyed.reserve(static_cast<std::size_t>(names.size()));
    for (FilePath& name : names) {
        keyed.emplace_back(collator.sortKey(name.readable()), std::move(name));
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
QVector<FilePath> visibleEntries(const FilePath& folder, mode_t mode, Wanted wanted) {
    QVector<FilePath> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;  // hidden entries, and "." and ".."
        }
        FilePath name{QByteArray(entry->d_name)};
        if (wanted(name) && isOfType(::dirfd(dir), *entry, mode)) {
            names.append(std::move(name));
        }
    }
    ::closedir(dir);
    sortForPeople(names);
    return names;
}

// Matches a file name against the file list's pattern as the user reads the name, by the C
// library's wildcard rules in the user's locale, which need no regular expression engine in
// memory.
class NameMatch {
public:
    explicit NameMatch(const QString& pattern) : wildcard_(pattern.toUtf8()) {}
    bool operator()(const FilePath& name) const {
        return ::fnmatch(wildcard_.constData(), name.readable().toUtf8().constData(),
                         FNM_CASEFOLD) == 0;
    }

private:
    QByteArray wildcard_;
};

}  // namespace

QVector<FilePath> matchingFiles(const FilePath& folder, const QString& pattern) {
    return visibleEntries(folder, S_IFREG, NameMatch(pattern));
}

QVector<FilePath> subfolders(const FilePath& folder) {
    return visibleEntries(folder, S_IFDIR, [](const FilePath&) { return true; });
}

FilePath absoluteClean(const FilePath& path) {
    // std::filesystem keeps a path's bytes as they are on this system.
    std::error_code ignored;
    const std::filesystem::path absolute =
        std::filesystem::absolute(path.isEmpty() ? "." : path.bytes().toStdString(), ignored)
            .lexically_normal();
    std::string clean = absolute.native();
    while (clean.size() > 1 && clean.ends_with('/')) {
        clean.pop_back();
    }
    return FilePath(QByteArray::fromStdString(clean));
}

QVector<FolderStep> foldersDownTo(const FilePath& path) {
    const FilePath root{QByteArrayLiteral("/")};
    QVector<FolderStep> steps{{root, root}};
    QByteArray soFar;
    for (const QByteArray& part : path.bytes().split('/')) {
        if (part.isEmpty()) {
            continue;
        }
        soFar += '/' + part;
        steps.append({FilePath(soFar), FilePath(part)});
    }
    return steps;
}

QString whyUnlistable(const FilePath& folder) {
    const QByteArray& path = folder.bytes();
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

PlaceToOpen placeToOpen(const FilePath& path, const QString& pattern) {
    const FilePath clean = absoluteClean(path);
    struct stat status {};
    if (::stat(clean.c_str(), &status) != 0) {
        return {.whyNot = errno == EACCES ? QStringLiteral("permission denied")
                                          : QStringLiteral("it does not exist")};
    }
    if (S_ISDIR(status.st_mode)) {
        const QString why = whyUnlistable(clean);
        return why.isEmpty() ? PlaceToOpen{.folder = clean} : PlaceToOpen{.whyNot = why};
    }
    const FilePath name = clean.fileName();
    if (!S_ISREG(status.st_mode)) {
        return {.whyNot = QStringLiteral("it is no file or folder")};
    }
    if (!NameMatch(pattern)(name)) {
        return {.whyNot = QStringLiteral("it is no %1 file").arg(pattern)};
    }
    if (name.bytes().startsWith('.')) {
        return {.whyNot = QStringLiteral("it is hidden")};
    }
    if (::access(clean.c_str(), R_OK) != 0) {
        return {.whyNot = QStringLiteral("permission denied")};
    }
    const FilePath folder = absoluteClean(FilePath(clean.bytes() + "/.."));
    if (const QString why = whyUnlistable(folder); !why.isEmpty()) {
        return {.whyNot = why};
    }
    return {.folder = folder, .fileName = name};
}

}  // namespace browser

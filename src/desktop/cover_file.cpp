#include "desktop/cover_file.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QStandardPaths>
#include <QUrl>

namespace desktop {

namespace {

std::unique_ptr<QTemporaryDir> privateFolder() {
    // Read directly: QStandardPaths warns where the variable is not set.
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty()) {
        base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        QDir().mkpath(base);
    }
    // Made as mkdtemp makes it: readable, writable and enterable by the user alone.
    return std::make_unique<QTemporaryDir>(base + QStringLiteral("/mp3player-covers-XXXXXX"));
}

}  // namespace

QString CoverFile::show(const QByteArray& picture) {
    if (!shown_.isEmpty()) {
        QFile::remove(shown_);
        shown_.clear();
    }
    if (picture.isEmpty()) {
        return {};
    }
    if (folder_ == nullptr) {
        folder_ = privateFolder();
    }
    if (!folder_->isValid()) {
        return {};
    }
    // The name says what the picture is, for a panel that goes by it.
    const QString suffix = QMimeDatabase().mimeTypeForData(picture).preferredSuffix();
    const QString path =
        folder_->filePath(QStringLiteral("cover-%1%2")
                              .arg(++count_)
                              .arg(suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(picture) != picture.size() ||
        !file.flush()) {
        file.remove();
        return {};
    }
    shown_ = path;
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

}  // namespace desktop

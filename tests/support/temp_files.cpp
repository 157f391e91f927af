#include "support/temp_files.h"

#include <sys/stat.h>

#include <QtEndian>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace test_files {

core::FilePath pathOf(const QString& path) {
    return core::FilePath(path.toUtf8());
}

QString qtPath(const core::FilePath& path) {
    return QString::fromUtf8(path.bytes());
}

core::FilePath inFolder(const core::FilePath& folder, const core::FilePath& name) {
    return core::FilePath(folder.bytes() + '/' + name.bytes());
}

QByteArray readAll(const core::FilePath& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    if (!file) {
        qFatal("cannot read %s", qPrintable(path.exactSpelling()));
    }
    return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(file), {}));
}

void writeAll(const core::FilePath& path, const QByteArray& bytes) {
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
    if (!file.write(bytes.constData(), bytes.size()) || !file.flush()) {
        qFatal("cannot write %s", qPrintable(path.exactSpelling()));
    }
}

void makeFolder(const core::FilePath& path) {
    if (::mkdir(path.c_str(), 0755) != 0) {
        qFatal("cannot make the folder %s", qPrintable(path.exactSpelling()));
    }
}

void removeTree(const core::FilePath& path) {
    std::filesystem::remove_all(path.c_str());
}

namespace {
QByteArray field(const QByteArray& text, int width) {
    return text.left(width).leftJustified(width, '\0');
}
}  // namespace

QByteArray trailer(const QByteArray& title, const QByteArray& artist, const QByteArray& album,
                   const QByteArray& year, const QByteArray& comment, quint8 genre) {
    QByteArray bytes = "TAG" + field(title, 30) + field(artist, 30) + field(album, 30) +
                       field(year, 4) + field(comment, 30);
    bytes.append(static_cast<char>(genre));
    return bytes;
}

QByteArray apeTag(const QByteArray& title) {
    const auto number = [](quint32 value) {
        QByteArray bytes(4, '\0');
        qToLittleEndian(value, bytes.data());
        return bytes;
    };
    const QByteArray item = number(title.size()) + number(0) + QByteArray("Title", 6) + title;
    const auto headerOrFooter = [&](quint32 flags) {
        constexpr quint32 kVersion = 2000;
        constexpr int kHeaderSize = 32;
        return "APETAGEX" + number(kVersion) + number(item.size() + kHeaderSize) + number(1) +
               number(flags) + QByteArray(8, '\0');
    };
    constexpr quint32 kHasHeader = 0x80000000;
    constexpr quint32 kIsHeader = 0x20000000;
    return headerOrFooter(kHasHeader | kIsHeader) + item + headerOrFooter(kHasHeader);
}

QByteArray bytesOf(const id3::TagRecord::Bytes& trailer) {
    return {reinterpret_cast<const char*>(trailer.data()), static_cast<qsizetype>(trailer.size())};
}

QByteArray audioBytes(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(0x80 + (i * 7) % 0x70);
    }
    return bytes;
}

QString testDataFile(const QString& name) {
    return QStringLiteral(MP3PLAYER_TEST_DATA "/") + name;
}

QByteArray mpegAudio() {
    return readAll(testDataFile(QStringLiteral("cbr.mp3")));
}

bool isHeldOpen(const QString& path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty()) {
        return false;  // nothing there to hold
    }
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& entry :
         descriptors.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.symLinkTarget() == target) {
            return true;
        }
    }
    return false;
}

void writeLongMpegFile(const QString& path, int copies) {
    const QByteArray frames = readAll(testDataFile(QStringLiteral("vbr_no_xing.mp3")));
    std::ofstream file(path.toStdString(), std::ios::binary | std::ios::trunc);
    for (int i = 0; i < copies && file; ++i) {
        file.write(frames.constData(), frames.size());
    }
    if (!file.flush()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

}  // namespace test_files

#include "support/temp_files.h"

#include <sys/stat.h>

#include <QtEndian>
#include <QtTest>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "browser/local_name.h"

namespace test_files {

QByteArray readAll(const QString& path) {
    std::ifstream file(browser::localBytes(path).toStdString(), std::ios::binary);
    if (!file) {
        qFatal("cannot read %s", qPrintable(path));
    }
    return QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(file), {}));
}

void writeAll(const QString& path, const QByteArray& bytes) {
    std::ofstream file(browser::localBytes(path).toStdString(), std::ios::binary | std::ios::trunc);
    if (!file.write(bytes.constData(), bytes.size()) || !file.flush()) {
        qFatal("cannot write %s", qPrintable(path));
    }
}

void makeFolder(const QString& path) {
    if (::mkdir(browser::localBytes(path).constData(), 0755) != 0) {
        qFatal("cannot make the folder %s", qPrintable(path));
    }
}

void removeTree(const QString& path) {
    std::filesystem::remove_all(browser::localBytes(path).toStdString());
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

void writeLongMpegFile(const QString& path, int copies) {
    const QByteArray frames = readAll(testDataFile(QStringLiteral("vbr_no_xing.mp3")));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    for (int i = 0; i < copies; ++i) {
        if (file.write(frames) != frames.size()) {
            qFatal("cannot write %s", qPrintable(path));
        }
    }
}

}  // namespace test_files

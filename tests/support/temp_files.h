#pragma once

#include <QByteArray>
#include <QString>
#include <QtTest>

#include <ostream>

#include "core/file_path.h"
#include "tag/tag_record.h"

// How QCOMPARE and GoogleTest print a path: byte for byte.
namespace core {
inline char* toString(const FilePath& path) {
    return QTest::toString(path.exactSpelling());
}
inline void PrintTo(const FilePath& path, std::ostream* out) {
    *out << path.exactSpelling().toStdString();
}
}  // namespace core

// Small helpers for tests that work on real files in a temporary folder, by their bytes, so
// names need not be UTF-8.
namespace test_files {

// A path as Qt spells it, which is UTF-8, and back.
core::FilePath pathOf(const QString& path);
QString qtPath(const core::FilePath& path);
// The path of `name` in `folder`.
core::FilePath inFolder(const core::FilePath& folder, const core::FilePath& name);

QByteArray readAll(const core::FilePath& path);
void writeAll(const core::FilePath& path, const QByteArray& bytes);
void makeFolder(const core::FilePath& path);
// Removes `path` and all it holds; QTemporaryDir cannot remove names that are not UTF-8.
void removeTree(const core::FilePath& path);

// The same for a path as Qt spells it.
inline QByteArray readAll(const QString& path) {
    return readAll(pathOf(path));
}
inline void writeAll(const QString& path, const QByteArray& bytes) {
    writeAll(pathOf(path), bytes);
}

// 128 bytes of an ID3 version 1 trailer, each text field given whole (cut or NUL-padded).
QByteArray trailer(const QByteArray& title, const QByteArray& artist = {},
                   const QByteArray& album = {}, const QByteArray& year = {},
                   const QByteArray& comment = {}, quint8 genre = 0);

// An APEv2 tag with a header, a footer and one Title item: 131 bytes for a 53-byte title, so
// that its header's "APETAGEX" holds "TAG" exactly 128 bytes before the tag's end.
QByteArray apeTag(const QByteArray& title);

// A trailer as the tag code holds it.
QByteArray bytesOf(const id3::TagRecord::Bytes& trailer);

// Audio-like bytes that hold no "TAG" anywhere.
QByteArray audioBytes(int size);

QString testDataFile(const QString& name);
// The frames of tests/data/cbr.mp3: real audio, which TagLib and mutagen read.
QByteArray mpegAudio();

// Whether this process holds the file at `path` open, by following its descriptors.
bool isHeldOpen(const QString& path);

// Writes the frames of tests/data/vbr_no_xing.mp3 (5 s, no length header) `copies` times
// over to `path`, so that only a count of every frame finds the file's length.
void writeLongMpegFile(const QString& path, int copies);

// About 300 MB: a count of a second or more from the disk, a tenth of one from the cache.
constexpr int kLongMpegFileCopies = 8000;

}  // namespace test_files

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>

#include <compare>
#include <utility>

namespace core {

// A file or folder name, or a path, as the system spells it: its bytes. Most are UTF-8, but
// names copied from other systems often hold bytes of a single-byte code page, and such a file
// must still be found, read and named by exactly its bytes.
class FilePath {
public:
    FilePath() = default;
    explicit FilePath(QByteArray bytes) : bytes_(std::move(bytes)) {}

    const QByteArray& bytes() const { return bytes_; }
    // NUL-terminated, for the system's calls.
    const char* c_str() const { return bytes_.constData(); }
    bool isEmpty() const { return bytes_.isEmpty(); }

    // The last component: what follows the last "/".
    FilePath fileName() const;

    // Whether every byte is part of valid UTF-8.
    bool isUtf8() const;

    // As a person reads it: UTF-8 as such, each other byte as its character in the code page
    // of the user's language (CodePage::system()).
    QString readable() const;

    // The exact bytes, readably and unambiguously: UTF-8 characters as they are, each other
    // byte as "\xHH" and each backslash doubled.
    QString exactSpelling() const;

    // How a message names it: its readable form, marked when it is not UTF-8, since it may
    // then read like a different name.
    QString forMessages() const;

    // The file:// URI of an absolute path: its bytes, percent-encoded where a URI needs it, so
    // that a name that is not UTF-8 still names its file.
    QString fileUri() const;
    // The path that a file:// URL names on this machine, by its bytes; empty for a URL of
    // another scheme or of another host.
    static FilePath fromFileUrl(const QUrl& url);

    friend bool operator==(const FilePath&, const FilePath&) = default;
    friend std::strong_ordering operator<=>(const FilePath& a, const FilePath& b) {
        return QByteArrayView(a.bytes_).compare(b.bytes_) <=> 0;
    }

private:
    QByteArray bytes_;
};

}  // namespace core

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace browser {

// Names and paths come from the system as bytes: most are UTF-8, but names copied from older
// systems often hold Latin-1 or CP1252 bytes. The program keeps them in QString without
// losing a byte: valid UTF-8 decodes as usual, and each byte that is not part of valid UTF-8
// becomes the lone surrogate U+DC00 + byte (U+DC80..U+DCFF), which no valid UTF-8 decodes to.
// Every path handed to the system is turned back into its bytes with localBytes().
QString fromLocalBytes(QByteArrayView bytes);
QByteArray localBytes(QStringView path);

// Whether every byte of the name was part of valid UTF-8.
bool isUtf8(QStringView name);

// The name as a person reads it: each byte that was not UTF-8 shown as its character in the
// code page of the user's language, the one tag text is read in.
QString readableName(const QString& name);

// The name's exact bytes: the UTF-8 characters as they are, each other byte as "\xHH" and each
// backslash doubled, so that two different names never read the same.
QString exactSpelling(QStringView name);

// How a message names a file or folder: its readable name, marked when it is not UTF-8.
QString nameForMessages(const QString& name);

}  // namespace browser

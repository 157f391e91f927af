#include "browser/local_name.h"

#include "core/code_page.h"

namespace browser {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// Whether the code unit at `i` stands for a byte that was not UTF-8. A low surrogate right
// after a high one is half of a character, not an escape.
bool isEscapeAt(QStringView name, qsizetype i) {
    const char16_t unit = name[i].unicode();
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF &&
           (i == 0 || !name[i - 1].isHighSurrogate());
}

unsigned char escapedByte(QChar escape) {
    return static_cast<unsigned char>(escape.unicode() - kEscapeBase);
}

// The length a UTF-8 sequence has when it starts with `lead`.
qsizetype sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    return lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

}  // namespace

QString fromLocalBytes(QByteArrayView bytes) {
    if (bytes.isValidUtf8()) {
        return QString::fromUtf8(bytes);
    }
    QString name;
    name.reserve(bytes.size());
    qsizetype runStart = 0;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const qsizetype length = sequenceLength(lead);
        if (i + length <= bytes.size() && bytes.sliced(i, length).isValidUtf8()) {
            i += length;
            continue;
        }
        name += QString::fromUtf8(bytes.sliced(runStart, i - runStart));
        name += QChar(static_cast<char16_t>(kEscapeBase + lead));
        runStart = ++i;
    }
    name += QString::fromUtf8(bytes.sliced(runStart));
    return name;
}

QByteArray localBytes(QStringView path) {
    QByteArray bytes;
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (isEscapeAt(path, i)) {
            bytes += path.sliced(runStart, i - runStart).toUtf8();
            bytes += static_cast<char>(escapedByte(path[i]));
            runStart = i + 1;
        }
    }
    bytes += path.sliced(runStart).toUtf8();
    return bytes;
}

bool isUtf8(QStringView name) {
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscapeAt(name, i)) {
            return false;
        }
    }
    return true;
}

QString readableName(const QString& name) {
    QString readable = name;
    for (qsizetype i = 0; i < readable.size(); ++i) {
        if (isEscapeAt(name, i)) {
            const char byte = static_cast<char>(escapedByte(name[i]));
            readable[i] = core::CodePage::system().decode(QByteArrayView(&byte, 1)).front();
        }
    }
    return readable;
}

QString exactSpelling(QStringView name) {
    QString spelled;
    spelled.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscapeAt(name, i)) {
            spelled += QStringLiteral("\\x") + QString::number(escapedByte(name[i]), 16).toUpper();
        } else if (name[i] == QLatin1Char('\\')) {
            spelled += QStringLiteral("\\\\");
        } else {
            spelled += name[i];
        }
    }
    return spelled;
}

QString nameForMessages(const QString& name) {
    if (isUtf8(name)) {
        return name;
    }
    return readableName(name) + QStringLiteral(" (name not in UTF-8)");
}

}  // namespace browser

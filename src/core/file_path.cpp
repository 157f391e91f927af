#include "core/file_path.h"

#include "core/code_page.h"

namespace core {

namespace {

// The length a UTF-8 sequence has when it starts with `lead`.
qsizetype sequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    return lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Calls `utf8(run)` for each longest run of valid UTF-8 and `stray(byte)` for each byte that
// belongs to none, in order.
template <typename Utf8Run, typename StrayByte>
void splitUtf8(QByteArrayView bytes, const Utf8Run& utf8, const StrayByte& stray) {
    qsizetype runStart = 0;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const qsizetype length = sequenceLength(lead);
        if (i + length <= bytes.size() && bytes.sliced(i, length).isValidUtf8()) {
            i += length;
            continue;
        }
        utf8(bytes.sliced(runStart, i - runStart));
        stray(lead);
        runStart = ++i;
    }
    utf8(bytes.sliced(runStart));
}

}  // namespace

FilePath FilePath::fileName() const {
    return FilePath(bytes_.sliced(bytes_.lastIndexOf('/') + 1));
}

bool FilePath::isUtf8() const {
    return QByteArrayView(bytes_).isValidUtf8();
}

QString FilePath::readable() const {
    if (isUtf8()) {
        return QString::fromUtf8(bytes_);
    }
    QString text;
    splitUtf8(
        bytes_, [&text](QByteArrayView run) { text += QString::fromUtf8(run); },
        [&text](unsigned char byte) {
            const char asChar = static_cast<char>(byte);
            text += CodePage::system().decode(QByteArrayView(&asChar, 1));
        });
    return text;
}

QString FilePath::exactSpelling() const {
    QString spelled;
    splitUtf8(
        bytes_,
        [&spelled](QByteArrayView run) {
            spelled += QString::fromUtf8(run).replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
        },
        [&spelled](unsigned char byte) {
            spelled += QStringLiteral("\\x") +
                       QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        });
    return spelled;
}

QString FilePath::forMessages() const {
    if (isUtf8()) {
        return readable();
    }
    return readable() + QStringLiteral(" (name not in UTF-8)");
}

QString FilePath::fileUri() const {
    return QStringLiteral("file://") + QString::fromLatin1(bytes_.toPercentEncoding("/"));
}

FilePath FilePath::fromFileUrl(const QUrl& url) {
    if (!url.isLocalFile() || !(url.host().isEmpty() || url.host() == QLatin1String("localhost"))) {
        return {};
    }
    return FilePath(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

}  // namespace core

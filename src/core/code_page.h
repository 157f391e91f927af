#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace core {

// A single-byte code page (windows-874, windows-1250 to windows-1258), the encoding of tag text
// and of names that are not UTF-8. Every byte has a character and comes back from it unchanged:
// a byte the code page leaves unassigned reads as the character of the same number (a C1
// control for 0x80-0x9F), so that a save writes back the byte it read.
class CodePage {
public:
    // The code pages of the supported languages: 874 and 1250 to 1258.
    static std::optional<CodePage> fromNumber(int number);
    // The code page of the user's language, or the one MP3PLAYER_CODEPAGE names; read once.
    static const CodePage& system();

    int number() const { return number_; }

    // One character a byte.
    QString decode(QByteArrayView bytes) const;

    struct Encoded {
        QByteArray bytes;
        QString replaced;  // the characters that became "?", one each, in order
    };
    // One byte a character where the code page holds it (a Vietnamese letter may take two: a
    // base letter and a tone mark), else "?".
    Encoded encode(QStringView text) const;

private:
    explicit CodePage(int number) : number_(number) {}
    bool appendEncoded(char32_t character, QByteArray& bytes) const;

    int number_;
    std::array<char16_t, 256> characters_{};
    QHash<char32_t, char> bytes_;
};

// What the code page is chosen from: the locale variables in the order the C library reads
// them for character types, and the program's own override.
struct LocaleEnvironment {
    QByteArray lcAll{};
    QByteArray lcCtype{};
    QByteArray lang{};
    QByteArray codePageOverride{};  // MP3PLAYER_CODEPAGE

    static LocaleEnvironment current();
};

// The single-byte code page of the language the environment names (1252 for C, POSIX and any
// language without one of its own), or the override when it names a supported code page.
int codePageNumber(const LocaleEnvironment& environment);

}  // namespace core

#include "core/code_page.h"

#include <QLocale>
#include <QStringDecoder>
#include <QtGlobal>

#include <algorithm>
#include <initializer_list>

namespace core {

namespace {

constexpr int kWesternCodePage = 1252;

bool isSupported(int number) {
    return number == 874 || (number >= 1250 && number <= 1258);
}

// The byte's character as ICU reads it, or none where the code page leaves it unassigned (ICU
// then gives a replacement or a private-use character).
std::optional<char16_t> assignedCharacter(QByteArrayView name, char byte) {
    QStringDecoder decoder(name.constData());
    const QString character = decoder.decode(QByteArrayView(&byte, 1));
    if (decoder.hasError() || character.size() != 1) {
        return std::nullopt;
    }
    const char16_t unit = character.front().unicode();
    const bool privateUse = unit >= 0xE000 && unit <= 0xF8FF;
    if (unit == QChar::ReplacementCharacter || privateUse) {
        return std::nullopt;
    }
    return unit;
}

int codePageOfLanguage(QLocale::Language language) {
    struct Group {
        int codePage;
        std::initializer_list<QLocale::Language> languages;
    };
    static const Group kGroups[] = {
        {1251,
         {QLocale::Russian, QLocale::Ukrainian, QLocale::Belarusian, QLocale::Bulgarian,
          QLocale::Serbian, QLocale::Macedonian}},
        {1250,
         {QLocale::Polish, QLocale::Czech, QLocale::Slovak, QLocale::Hungarian, QLocale::Slovenian,
          QLocale::Croatian, QLocale::Bosnian, QLocale::Romanian, QLocale::Albanian}},
        {1253, {QLocale::Greek}},
        {1254, {QLocale::Turkish, QLocale::Azerbaijani}},
        {1255, {QLocale::Hebrew}},
        {1256, {QLocale::Arabic, QLocale::Persian, QLocale::Urdu}},
        {1257, {QLocale::Estonian, QLocale::Latvian, QLocale::Lithuanian}},
        {1258, {QLocale::Vietnamese}},
        {874, {QLocale::Thai}},
    };
    for (const Group& group : kGroups) {
        if (std::ranges::find(group.languages, language) != group.languages.end()) {
            return group.codePage;
        }
    }
    return kWesternCodePage;
}

// The code page of the language a locale names: "ru_RU.UTF-8@euro" names Russian, C and POSIX
// none. A language of the Cyrillic code page written in Latin letters, as "sr_RS@latin" and
// "sr_ME" name Serbian, takes the Central European one, which holds its letters.
int codePageOfLocale(const QByteArray& localeName) {
    const qsizetype modifierAt = localeName.indexOf('@');
    const bool latinModifier =
        modifierAt >= 0 && localeName.mid(modifierAt + 1).startsWith("latin");
    QByteArray name = localeName;
    for (const char end : {'.', '@'}) {
        name.truncate(name.indexOf(end) < 0 ? name.size() : name.indexOf(end));
    }
    if (name.isEmpty() || name == "C" || name == "POSIX") {
        return kWesternCodePage;
    }
    const QLocale locale(QString::fromLatin1(name));
    const int codePage = codePageOfLanguage(locale.language());
    constexpr int kCyrillicCodePage = 1251;
    constexpr int kCentralEuropeanCodePage = 1250;
    const bool latinLetters = latinModifier || locale.script() == QLocale::LatinScript;
    return codePage == kCyrillicCodePage && latinLetters ? kCentralEuropeanCodePage : codePage;
}

}  // namespace

std::optional<CodePage> CodePage::fromNumber(int number) {
    if (!isSupported(number)) {
        return std::nullopt;
    }
    const QByteArray name =
        number == 874 ? QByteArray("windows-874") : "windows-" + QByteArray::number(number);
    CodePage page(number);
    const bool known = QStringDecoder(name.constData()).isValid();
    for (std::size_t byte = 0; byte <= 0xFF; ++byte) {
        const char asChar = static_cast<char>(byte);
        const std::optional<char16_t> assigned =
            known ? assignedCharacter(name, asChar) : std::nullopt;
        page.characters_[byte] = assigned.value_or(static_cast<char16_t>(byte));
        page.bytes_.insert(page.characters_[byte], asChar);
    }
    if (!known) {
        qWarning("This Qt has no converter for %s; tag text is read as Latin-1.", name.constData());
    }
    return page;
}

const CodePage& CodePage::system() {
    static const CodePage page = *fromNumber(codePageNumber(LocaleEnvironment::current()));
    return page;
}

QString CodePage::decode(QByteArrayView bytes) const {
    QString text(bytes.size(), Qt::Uninitialized);
    std::ranges::transform(bytes, text.begin(), [this](char byte) {
        return QChar(characters_[static_cast<unsigned char>(byte)]);
    });
    return text;
}

CodePage::Encoded CodePage::encode(QStringView text) const {
    Encoded encoded;
    encoded.bytes.reserve(text.size());
    for (const char32_t character : text.toUcs4()) {
        if (!appendEncoded(character, encoded.bytes)) {
            encoded.bytes += '?';
            encoded.replaced += QString::fromUcs4(&character, 1);
        }
    }
    return encoded;
}

bool CodePage::appendEncoded(char32_t character, QByteArray& bytes) const {
    if (const auto found = bytes_.constFind(character); found != bytes_.cend()) {
        bytes += *found;
        return true;
    }
    // A letter the code page holds only as a base letter and combining marks (Vietnamese "ệ"
    // is "ê" and a dot below): each mark that composes with the base into a held letter joins
    // it, and the marks left over follow it.
    const QString decomposed =
        QString::fromUcs4(&character, 1).normalized(QString::NormalizationForm_D);
    if (decomposed.size() < 2) {
        return false;
    }
    QString base = decomposed.first(1);
    QString marks = decomposed.sliced(1);
    for (qsizetype i = 0; i < marks.size();) {
        const QString joined = (base + marks[i]).normalized(QString::NormalizationForm_C);
        if (joined.size() == 1 && bytes_.contains(joined.front().unicode())) {
            base = joined;
            marks.remove(i, 1);
            i = 0;
        } else {
            ++i;
        }
    }
    QByteArray encoded;
    for (const QChar unit : base + marks) {
        const auto found = bytes_.constFind(unit.unicode());
        if (found == bytes_.cend()) {
            return false;
        }
        encoded += *found;
    }
    bytes += encoded;
    return true;
}

LocaleEnvironment LocaleEnvironment::current() {
    return {qgetenv("LC_ALL"), qgetenv("LC_CTYPE"), qgetenv("LANG"), qgetenv("MP3PLAYER_CODEPAGE")};
}

int codePageNumber(const LocaleEnvironment& environment) {
    if (!environment.codePageOverride.isEmpty()) {
        bool isNumber = false;
        const int number = environment.codePageOverride.trimmed().toInt(&isNumber);
        if (isNumber && isSupported(number)) {
            return number;
        }
        qWarning(
            "MP3PLAYER_CODEPAGE=%s names no supported code page (874, 1250 to 1258); "
            "using the language's.",
            environment.codePageOverride.constData());
    }
    for (const QByteArray* variable :
         {&environment.lcAll, &environment.lcCtype, &environment.lang}) {
        if (!variable->isEmpty()) {
            return codePageOfLocale(*variable);
        }
    }
    return kWesternCodePage;
}

}  // namespace core

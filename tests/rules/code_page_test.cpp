#include <gtest/gtest.h>

#include "core/code_page.h"

namespace {

using core::CodePage;
using core::LocaleEnvironment;

TEST(CodePage, FollowsTheLanguageOfTheFirstLocaleVariableSet) {
    // Serbian in Latin letters holds "đ š ć", which 1251 lacks.
    const std::pair<const char*, int> languages[] = {
        {"ru_RU.UTF-8", 1251}, {"uk_UA.UTF-8", 1251}, {"sr_RS", 1251}, {"pl_PL.UTF-8", 1250},
        {"ro_RO", 1250},       {"el_GR.UTF-8", 1253}, {"az_AZ", 1254}, {"he_IL.UTF-8", 1255},
        {"fa_IR", 1256},       {"lt_LT.UTF-8", 1257}, {"vi_VN", 1258}, {"th_TH.UTF-8", 874},
        {"ja_JP.UTF-8", 1252}, {"C", 1252},           {"POSIX", 1252}, {"de_DE.UTF-8@euro", 1252},
        {"sr_RS@latin", 1250}, {"sr_ME.UTF-8", 1250},
    };
    for (const auto& [language, codePage] : languages) {
        EXPECT_EQ(core::codePageNumber({.lang = language}), codePage) << language;
    }
    struct Case {
        LocaleEnvironment environment;
        int codePage;
    };
    const std::vector<Case> cases = {
        {{}, 1252},
        {{.lcAll = "ru_RU.UTF-8", .lcCtype = "el_GR.UTF-8", .lang = "pl_PL.UTF-8"}, 1251},
        {{.lcCtype = "el_GR.UTF-8", .lang = "pl_PL.UTF-8"}, 1253},
        {{.lang = "en_US.UTF-8", .codePageOverride = "1251"}, 1251},
        {{.lang = "ru_RU.UTF-8", .codePageOverride = "874"}, 874},
        {{.lang = "ru_RU.UTF-8", .codePageOverride = "65001"}, 1251},
        {{.lang = "ru_RU.UTF-8", .codePageOverride = "cyrillic"}, 1251},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(core::codePageNumber(c.environment), c.codePage)
            << c.environment.lcAll.constData() << "|" << c.environment.lcCtype.constData() << "|"
            << c.environment.lang.constData() << "|" << c.environment.codePageOverride.constData();
    }
}

// Each code page's text, and every byte but zero, read and written back unchanged.
TEST(CodePage, ReadsAndWritesTheTextOfEachLanguageAndEveryByte) {
    struct Case {
        int codePage;
        QByteArray bytes;
        QString text;
    };
    const std::vector<Case> cases = {
        {1251, "\xC3\xF0\xF3\xEF\xEF\xE0 \xEA\xF0\xEE\xE2\xE8", QStringLiteral("Группа крови")},
        {1252, "Don\x92t \x80", QStringLiteral("Don’t €")},
        {1250, "\xB3\xF3\x64\x9F", QStringLiteral("łódź")},
        {1253, "\xE1\xE2\xE3", QStringLiteral("αβγ")},
        {1254, "\xFE\xFD\xF0", QStringLiteral("şığ")},
        {1255, "\xF9\xEC\xE5\xED", QStringLiteral("שלום")},
        {1256, "\xD3\xE1\xC7\xE3", QStringLiteral("سلام")},
        {1257, "\xE0\xE8\xE6", QStringLiteral("ąčę")},
        {874, "\xA1\xA2\xA4", QStringLiteral("กขค")},
        {1258, "Vi\xEA\xF2t", QStringLiteral("Vi\u00EA\u0323t")},
    };
    QByteArray everyByte;
    for (int byte = 1; byte <= 0xFF; ++byte) {
        everyByte += static_cast<char>(byte);
    }
    for (const Case& c : cases) {
        const CodePage page = *CodePage::fromNumber(c.codePage);
        EXPECT_EQ(page.decode(c.bytes), c.text) << c.codePage;
        const QString everyCharacter = page.decode(everyByte);
        ASSERT_EQ(everyCharacter.size(), everyByte.size()) << c.codePage;
        for (const auto& [text, bytes] :
             {std::pair{c.text, c.bytes}, std::pair{everyCharacter, everyByte}}) {
            const CodePage::Encoded encoded = page.encode(text);
            EXPECT_EQ(encoded.bytes.toHex(' '), bytes.toHex(' ')) << c.codePage;
            EXPECT_TRUE(encoded.replaced.isEmpty()) << c.codePage;
        }
    }
    // Precomposed, as keyboards type it.
    EXPECT_EQ(CodePage::fromNumber(1258)->encode(QStringLiteral("Việt")).bytes, "Vi\xEA\xF2t");
    // Unassigned bytes read as the character of their number, so they save back unchanged.
    EXPECT_EQ(CodePage::fromNumber(1252)->decode("\x81\x8D"), QStringLiteral("\u0081\u008D"));
    EXPECT_EQ(CodePage::fromNumber(874)->decode("\xDB\xFF"), QStringLiteral("\u00DB\u00FF"));
    EXPECT_EQ(CodePage::fromNumber(1253)->decode("\xD2"), QStringLiteral("\u00D2"));
}

TEST(CodePage, NamesEachCharacterItCannotHoldAndWritesOneQuestionMarkForIt) {
    const CodePage::Encoded western =
        CodePage::fromNumber(1252)->encode(QStringLiteral("Café del Mar – Ibiza €dition 🎵 Ж"));
    EXPECT_EQ(western.bytes,
              "Caf\xE9 del Mar \x96 Ibiza \x80"
              "dition ? ?");
    EXPECT_EQ(western.replaced, QStringLiteral("🎵Ж"));

    const CodePage::Encoded cyrillic =
        CodePage::fromNumber(1251)->encode(QStringLiteral("Café – €"));
    EXPECT_EQ(cyrillic.bytes, "Caf? \x96 \x88");
    EXPECT_EQ(cyrillic.replaced, QStringLiteral("é"));

    const CodePage::Encoded halfAPair =
        CodePage::fromNumber(1252)->encode(QString(QChar(0xD800)) + u'x');
    EXPECT_EQ(halfAPair.bytes, "?x");
    EXPECT_FALSE(CodePage::fromNumber(65001));
}

}  // namespace

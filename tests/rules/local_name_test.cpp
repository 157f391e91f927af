#include <gtest/gtest.h>

#include "browser/local_name.h"

namespace {

using browser::fromLocalBytes;
using browser::localBytes;

std::string hex(const QByteArray& bytes) {
    return bytes.toHex(' ').toStdString();
}

// Names that hold bytes which are not UTF-8, each beside bytes that are.
std::vector<QByteArray> namesWithStrayBytes() {
    std::vector<QByteArray> names;
    QByteArray ascending;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const char alone = static_cast<char>(byte);
        names.push_back(QByteArray(1, alone));
        names.push_back("Caf" + QByteArray(1, alone) + ".mp3");
        ascending.append(alone);
    }
    names.push_back(ascending);
    std::reverse(ascending.begin(), ascending.end());
    names.push_back(ascending);
    for (const char* mixed : {
             "\xE2\x82",                  // a euro sign cut short
             "\xE2\x82x\xE2\x82\xAC",     // then a whole one
             "\xED\xA0\x80\xED\xB2\x80",  // surrogates written as UTF-8
             "\xC0\xAF\xE0\x80\xAF",      // overlong slashes
             "\xF4\x90\x80\x80",          // past U+10FFFF
             "\xF8\x88\x80\x80\x80",      // five-byte form
             "\xF0\x9F\x8E\xB5\xA9",      // a note, then a stray byte
             "\xF0\x9F\x82\x80\xFF",      // a character whose low surrogate is U+DC80
             "\xC3\xA9\xE9",              // UTF-8 e-acute, then Latin-1 e-acute
         }) {
        names.push_back(mixed);
    }
    return names;
}

TEST(LocalName, EveryNameComesBackAsTheSameBytesAndMarked) {
    for (const QByteArray& bytes : namesWithStrayBytes()) {
        EXPECT_FALSE(browser::isUtf8(fromLocalBytes(bytes))) << hex(bytes);
    }
    EXPECT_EQ(fromLocalBytes("Caf\xE9.mp3").size(), 8);
    std::vector<QByteArray> names = namesWithStrayBytes();
    for (int first = 0x80; first <= 0xFF; ++first) {
        for (int second = 0x80; second <= 0xFF; ++second) {
            names.push_back(QByteArray{static_cast<char>(first), static_cast<char>(second)});
        }
    }
    for (const QByteArray& bytes : names) {
        EXPECT_EQ(hex(localBytes(fromLocalBytes(bytes))), hex(bytes));
    }
}

TEST(LocalName, Utf8NamesDecodeAsUsual) {
    for (const char* name : {"", "plain.mp3", "Caf\xC3\xA9.mp3", "\xE6\x97\xA5\xE6\x9C\xAC",
                             "\xF0\x9F\x8E\xB5", "\xF0\x9F\x82\x80", "\xEF\xBF\xBD", "a\\b"}) {
        const QString decoded = fromLocalBytes(name);
        EXPECT_EQ(decoded, QString::fromUtf8(name)) << name;
        EXPECT_TRUE(browser::isUtf8(decoded)) << name;
        EXPECT_EQ(browser::readableName(decoded), decoded) << name;
        EXPECT_EQ(browser::nameForMessages(decoded), decoded) << name;
    }
}

TEST(LocalName, ShowsStrayBytesReadablyAndMarked) {
    struct Case {
        QByteArray bytes;
        QString readable, exact;
    };
    const std::vector<Case> cases = {
        {"Caf\xE9.mp3", QStringLiteral("Caf\u00E9.mp3"), QStringLiteral("Caf\\xE9.mp3")},
        {"Don\x92t.mp3", QStringLiteral("Don\u2019t.mp3"), QStringLiteral("Don\\x92t.mp3")},
        {"\xC3\xA9\xE9", QStringLiteral("\u00E9\u00E9"), QStringLiteral("\u00E9\\xE9")},
        {"\xE9\xC3\xA9", QStringLiteral("\u00E9\u00E9"), QStringLiteral("\\xE9\u00E9")},
        {"a\\xE9\xFF", QStringLiteral("a\\xE9\u00FF"), QStringLiteral("a\\\\xE9\\xFF")},
    };
    for (const Case& c : cases) {
        const QString name = fromLocalBytes(c.bytes);
        EXPECT_EQ(browser::readableName(name), c.readable) << hex(c.bytes);
        EXPECT_EQ(browser::exactSpelling(name), c.exact) << hex(c.bytes);
        EXPECT_EQ(browser::nameForMessages(name), c.readable + " (name not in UTF-8)");
    }
}

}  // namespace

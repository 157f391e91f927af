#include <gtest/gtest.h>

#include "core/file_path.h"

namespace {

using core::FilePath;

TEST(FilePath, ReadsStrayBytesInTheCodePageAndSpellsThemExactly) {
    struct Case {
        QByteArray bytes;
        QString readable, exact;
    };
    // The test environment's language is C, whose code page is 1252.
    const std::vector<Case> cases = {
        {"Caf\xE9.mp3", QStringLiteral("Caf\u00E9.mp3"), QStringLiteral("Caf\\xE9.mp3")},
        {"Don\x92t.mp3", QStringLiteral("Don\u2019t.mp3"), QStringLiteral("Don\\x92t.mp3")},
        {"\xC3\xA9\xE9", QStringLiteral("\u00E9\u00E9"), QStringLiteral("\u00E9\\xE9")},
        {"\xE9\xC3\xA9", QStringLiteral("\u00E9\u00E9"), QStringLiteral("\\xE9\u00E9")},
        {"a\\xE9\xFF", QStringLiteral("a\\xE9\u00FF"), QStringLiteral("a\\\\xE9\\xFF")},
        {"\xE2\x82x\xE2\x82\xAC", QStringLiteral("\u00E2\u201Ax\u20AC"),
         QStringLiteral("\\xE2\\x82x\u20AC")},
        {"\xF0\x9F\x8E\xB5\x81", QStringLiteral("🎵\u0081"), QStringLiteral("🎵\\x81")},
    };
    for (const Case& c : cases) {
        const FilePath path(c.bytes);
        EXPECT_FALSE(path.isUtf8());
        EXPECT_EQ(path.readable(), c.readable) << c.bytes.toHex(' ').constData();
        EXPECT_EQ(path.exactSpelling(), c.exact) << c.bytes.toHex(' ').constData();
        EXPECT_EQ(path.forMessages(), c.readable + " (name not in UTF-8)");
    }
    for (const char* utf8 : {"", "plain.mp3", "Caf\xC3\xA9.mp3", "\xF0\x9F\x8E\xB5", "a\\b"}) {
        const FilePath path{QByteArray(utf8)};
        EXPECT_TRUE(path.isUtf8()) << utf8;
        EXPECT_EQ(path.readable(), QString::fromUtf8(utf8));
        EXPECT_EQ(path.forMessages(), QString::fromUtf8(utf8));
    }
}

TEST(FilePath, FileNameIsWhatFollowsTheLastSlash) {
    EXPECT_EQ(FilePath("/music/Caf\xE9.mp3").fileName(), FilePath("Caf\xE9.mp3"));
    EXPECT_EQ(FilePath("/").fileName(), FilePath());
    EXPECT_EQ(FilePath("song.mp3").fileName(), FilePath("song.mp3"));
}

TEST(FilePath, AFileUriNamesThePathByItsBytes) {
    for (const char* bytes :
         {"/music/a.mp3", "/Caf\xE9/Caf\xE9.mp3", "/a#b?c%25d e\\f\ng.mp3", "/-lead.mp3", "/"}) {
        const FilePath path{QByteArray(bytes)};
        EXPECT_EQ(FilePath::fromFileUrl(QUrl(path.fileUri())), path)
            << path.fileUri().toStdString();
    }
    EXPECT_EQ(FilePath("/Caf\xE9.mp3").fileUri(), QStringLiteral("file:///Caf%E9.mp3"));
    EXPECT_EQ(FilePath::fromFileUrl(QUrl(QStringLiteral("file://localhost/a%20b.mp3"))),
              FilePath("/a b.mp3"));
    for (const char* other : {"http://localhost/a.mp3", "file://elsewhere/a.mp3", "a.mp3", ""}) {
        EXPECT_EQ(FilePath::fromFileUrl(QUrl(QString::fromLatin1(other))), FilePath()) << other;
    }
}

}  // namespace

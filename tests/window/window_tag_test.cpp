// Showing a file's tag when it is clicked, and saving the edited tag back into the file.
#include <sys/stat.h>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTextDocument>
#include <QtTest>

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include "browser/file_list.h"
#include "core/code_page.h"

#include "support/id3v2_tags.h"
#include "support/message_boxes.h"
#include "support/temp_files.h"
#include "support/window_fixture.h"

using test_files::audioBytes;
using test_files::qtPath;
using test_files::readAll;
using test_files::trailer;
using test_files::writeAll;

namespace {

const QStringList kTextBoxes = {"txtTitle", "txtArtist",  "txtAlbum",
                                "txtYear",  "txtComment", "txtGenreCode"};

QStringList shownFields(const WindowFixture& fixture) {
    QStringList shown;
    for (const QString& name : kTextBoxes) {
        shown << fixture.text(name.toLatin1().constData());
    }
    return shown;
}

void edit(const WindowFixture& fixture, const char* box, const QString& text) {
    fixture.control<QLineEdit>(box)->setText(text);
}

// What TagLib, as other players, reads of a file's ID3v2 tag (its version, title, artist and
// album) and whether it finds a trailer.
QStringList readByTagLib(const core::FilePath& path) {
    TagLib::MPEG::File file(path.c_str(), false);
    const auto text = [](const TagLib::String& s) {
        return QString::fromStdString(s.to8Bit(true));
    };
    const TagLib::ID3v2::Tag* id3v2 = file.ID3v2Tag();
    if (id3v2 == nullptr) {
        return {};
    }
    return {QString::number(id3v2->header()->majorVersion()), text(id3v2->title()),
            text(id3v2->artist()), text(id3v2->album()),
            file.hasID3v1Tag() ? QStringLiteral("trailer") : QStringLiteral("no trailer")};
}

}  // namespace

class WindowTagTest : public QObject {
    Q_OBJECT

private slots:
    void theGenreListHoldsTheProgramsGenresAndNoSelection() {
        WindowFixture fixture;
        fixture.open();
        QComboBox* genres = fixture.genres();
        QCOMPARE(genres->count(), 34);
        QCOMPARE(genres->itemText(0), QStringLiteral("Blues"));
        QCOMPARE(genres->itemText(7), QStringLiteral("Hip -Hop"));
        QCOMPARE(genres->itemText(33), QStringLiteral("Instrumental"));
        QCOMPARE(genres->currentIndex(), -1);
        QVERIFY(genres->isEditable());

        QTest::keyClicks(genres->lineEdit(), QStringLiteral("Polka"));
        QTest::keyClick(genres->lineEdit(), Qt::Key_Return);
        QCOMPARE(genres->count(), 34);
    }

    void showsTheTrailerOfTheClickedFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("message");

        const QByteArray audio = audioBytes(3000);
        QTest::newRow("trimmed fields, Blues")
            << audio + trailer(QByteArray("Title").leftJustified(30), "Artist", "Album", "1999",
                               "Comment", 1)
            << QStringList{"Title", "Artist", "Album", "1999", "Comment", "1"} << 0 << "";
        QTest::newRow("leading spaces stay")
            << audio + trailer("  Lead", "", "", "", "", 34)
            << QStringList{"  Lead", "", "", "", "", "34"} << 33 << "";
        QTest::newRow("NUL-filled fields end at the NUL")
            << audio + trailer(QByteArray("Abc\0zz", 6), {}, {}, {}, {}, 0)
            << QStringList{"Abc", "", "", "", "", "0"} << -1 << "";
        QTest::newRow("space-filled fields")
            << audio + trailer(QByteArray(30, ' '), QByteArray(30, ' '), {}, "    ", {}, 32)
            << QStringList{"", "", "", "", "", "32"} << 31 << "";
        QTest::newRow("comment with a zero and a track byte")
            << audio + trailer("T", {}, {}, {}, QByteArray(28, 'c') + QByteArray("\0\x07", 2), 2)
            << QStringList{"T", "", "", "", QString(28, 'c'), "2"} << 1 << "";
        QTest::newRow("comment with spaces before its zero and track")
            << audio +
                   trailer("T", {}, {}, {},
                           QByteArray("ripped by kid3").leftJustified(28) + QByteArray("\0\x05", 2),
                           2)
            << QStringList{"T", "", "", "", "ripped by kid3", "2"} << 1 << "";
        QTest::newRow("genre 35 selects nothing")
            << audio + trailer("T", {}, {}, {}, {}, 35) << QStringList{"T", "", "", "", "", "35"}
            << -1 << "";
        QTest::newRow("genre 200 selects nothing")
            << audio + trailer("T", {}, {}, {}, {}, 200) << QStringList{"T", "", "", "", "", "200"}
            << -1 << "";
        QTest::newRow("Latin-1 text")
            << audio + trailer("Caf\xE9", "\xC6sop") << QStringList{QString::fromLatin1("Caf\xE9"),
                                                                    QString::fromLatin1("\xC6sop"),
                                                                    "",
                                                                    "",
                                                                    "",
                                                                    "0"}
            << -1 << "";
        QTest::newRow("all trailer")
            << trailer("Only") << QStringList{"Only", "", "", "", "", "0"} << -1 << "";
        QTest::newRow("no trailer")
            << audio << QStringList{"", "", "", "", "", ""} << -1 << "No tag";
        QTest::newRow("lower-case tag") << audio + "tag" + trailer("x").mid(3)
                                        << QStringList{"", "", "", "", "", ""} << -1 << "No tag";
        QTest::newRow("shorter than a trailer")
            << QByteArray("TAG") << QStringList{"", "", "", "", "", ""} << -1 << "No tag";
        QTest::newRow("empty") << QByteArray() << QStringList{"", "", "", "", "", ""} << -1
                               << "No tag";
    }

    void showsTheTrailerOfTheClickedFile() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, fields);
        QFETCH(int, genre);
        QFETCH(QString, message);
        WindowFixture fixture;
        writeAll(fixture.file(QStringLiteral("a.mp3")),
                 audioBytes(500) + trailer("Before", "B", "B", "B", "B", 5));
        writeAll(fixture.file(QStringLiteral("b.mp3")), content);
        fixture.open();

        // Another file's tag first, so that any leftover of it would show.
        fixture.clickFile(QStringLiteral("a.mp3"));
        fixture.clickFile(QStringLiteral("b.mp3"));

        QCOMPARE(shownFields(fixture), fields);
        QCOMPARE(fixture.genres()->currentIndex(), genre);
        QCOMPARE(fixture.text("lblMsg"), message);
        QCOMPARE(readAll(fixture.file(QStringLiteral("b.mp3"))), content);
    }

    // The fields keep showing the trailer; the message label tells of the ID3v2 tag the file
    // begins with, and its tooltip what that tag names.
    void tellsOfAnId3v2TagBesideTheTrailer_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");

        using test_tags::frame;
        using test_tags::latin1Text;
        const QByteArray audio = audioBytes(3000);
        const QByteArray v24 = test_tags::tag(
            4,
            frame(4, "TIT2", '\x03' + QStringLiteral("Группа <b>крови</b>").toUtf8()) +
                frame(4, "TPE1", latin1Text("Artist")) + frame(4, "TALB", latin1Text("Album")),
            100);
        QTest::newRow("ID3v2.4 only")
            << v24 + audio << ""
            << "No tag (ID3v2 only)"
            << "ID3v2.4 tag at the file's start:\nTitle: Группа <b>крови</b>\nArtist: Artist\n"
               "Album: Album";
        QTest::newRow("ID3v2.3 with a 300 KB picture, and a trailer")
            << test_tags::tag(
                   3, frame(3, "APIC", audioBytes(300'000)) + frame(3, "TIT2", latin1Text("Title")),
                   0) +
                   audio + trailer("Trailer")
            << "Trailer"
            << "Also an ID3v2 tag"
            << "ID3v2.3 tag at the file's start:\nTitle: Title\nArtist: \nAlbum: ";
        QTest::newRow("ID3v2.2 only")
            << test_tags::handmadeTag(2, {{"TT2", "Old"}}, 10) + audio << ""
            << "No tag (ID3v2 only)"
            << "ID3v2.2 tag at the file's start:\nTitle: Old\nArtist: \nAlbum: ";
        QTest::newRow("a header of no known version")
            << "ID3\x05" + audio + trailer("Trailer") << "Trailer"
            << ""
            << "";
        QTest::newRow("an ID3v2 tag not at the start") << audio + v24 + audio << ""
                                                       << "No tag"
                                                       << "";
    }

    void tellsOfAnId3v2TagBesideTheTrailer() {
        QFETCH(QByteArray, content);
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(QString, details);
        WindowFixture fixture;
        writeAll(fixture.file(QStringLiteral("a.mp3")),
                 test_tags::handmadeTag(3, {{"TIT2", "A"}}, 10) + audioBytes(500));
        writeAll(fixture.file(QStringLiteral("b.mp3")), content);
        fixture.open();

        // The message label's tooltip, once a pointer rests on the label.
        const auto toolTip = [&fixture] {
            auto* label = fixture.control<QLabel>("lblMsg");
            QHelpEvent rest(QEvent::ToolTip, label->rect().center(),
                            label->mapToGlobal(label->rect().center()));
            QApplication::sendEvent(label, &rest);
            QTextDocument shown;
            shown.setHtml(label->toolTip());
            return shown.toPlainText();
        };
        fixture.clickFile(QStringLiteral("a.mp3"));
        QVERIFY(!toolTip().isEmpty());
        fixture.clickFile(QStringLiteral("b.mp3"));

        QCOMPARE(fixture.text("txtTitle"), title);
        QCOMPARE(fixture.text("lblMsg"), message);
        QCOMPARE(toolTip(), details);
        QCOMPARE(readAll(fixture.file(QStringLiteral("b.mp3"))), content);
    }

    void clickingTheSameFileAgainReadsItAgain() {
        WindowFixture fixture;
        writeAll(fixture.file(QStringLiteral("a.mp3")), audioBytes(500) + trailer("First"));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("First"));

        writeAll(fixture.file(QStringLiteral("a.mp3")), audioBytes(500) + trailer("Second"));
        fixture.clickFile(QStringLiteral("a.mp3"));
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Second"));
    }

    void movingThroughTheFilesWithTheKeyboardShowsEachTag() {
        WindowFixture fixture;
        writeAll(fixture.file(QStringLiteral("a.mp3")), trailer("One"));
        writeAll(fixture.file(QStringLiteral("b.mp3")), trailer("Two"));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        QTest::keyClick(fixture.files(), Qt::Key_Down);
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Two"));
        QTest::keyClick(fixture.files(), Qt::Key_Up);
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("One"));
    }

    void aFileThatIsGoneOrNoLongerAFileReadsAsNoTagAndItsTagIsNotSavedOverUnseen() {
        WindowFixture fixture;
        writeAll(fixture.file(QStringLiteral("gone.mp3")), trailer("Gone"));
        writeAll(fixture.file(QStringLiteral("pipe.mp3")), trailer("Pipe"));
        writeAll(fixture.file(QStringLiteral("x.mp3")), trailer("Tagged"));
        fixture.open();
        QFile::remove(qtPath(fixture.file(QStringLiteral("gone.mp3"))));
        QFile::remove(qtPath(fixture.file(QStringLiteral("pipe.mp3"))));
        QCOMPARE(::mkfifo(fixture.file(QStringLiteral("pipe.mp3")).c_str(), 0644), 0);

        fixture.clickFile(QStringLiteral("x.mp3"));
        fixture.clickFile(QStringLiteral("gone.mp3"));
        QCOMPARE(fixture.text("lblMsg"), QStringLiteral("Cannot read file"));
        QCOMPARE(fixture.text("txtTitle"), QString());
        QVERIFY2(!QFile::exists(qtPath(fixture.file(QStringLiteral("gone.mp3")))),
                 "reading created the file");
        // Back with its tag, which the cleared boxes never showed: a save would blank it.
        const QByteArray back = audioBytes(300) + trailer("Gone", "Artist", "Album");
        writeAll(fixture.file(QStringLiteral("gone.mp3")), back);
        edit(fixture, "txtTitle", QStringLiteral("Typed"));
        const ShownMessageBox refusal = answerMessageBox([&] { fixture.click("cmdWriteTag"); });
        QVERIFY2(refusal.text.contains(QStringLiteral("choose the file again")),
                 qPrintable(refusal.text));
        QCOMPARE(readAll(fixture.file(QStringLiteral("gone.mp3"))), back);

        fixture.clickFile(QStringLiteral("x.mp3"));
        fixture.clickFile(QStringLiteral("pipe.mp3"));
        QCOMPARE(fixture.text("lblMsg"), QStringLiteral("No tag"));
        QCOMPARE(fixture.text("txtTitle"), QString());
    }

    void savingOverwritesOnlyTheTrailerOfATaggedFile() {
        WindowFixture fixture;
        const QByteArray audio = audioBytes(5000);
        writeAll(fixture.file(QStringLiteral("a.mp3")),
                 audio + trailer("Old", "Old", "Old", "1990", "Old", 3));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        edit(fixture, "txtTitle", QString(35, 'T'));
        edit(fixture, "txtArtist", QStringLiteral("Artist"));
        edit(fixture, "txtAlbum", QString());
        edit(fixture, "txtYear", QStringLiteral("20245"));
        edit(fixture, "txtComment", QStringLiteral("  spaced"));
        edit(fixture, "txtGenreCode", QStringLiteral("99"));  // never read: the list decides
        fixture.genres()->setCurrentIndex(0);

        QVERIFY(runsWithoutMessageBox([&] { fixture.click("cmdWriteTag"); }));

        const QByteArray expected = "TAG" + QByteArray(30, 'T') +
                                    QByteArray("Artist").leftJustified(30) + QByteArray(30, ' ') +
                                    "2024" + QByteArray("  spaced").leftJustified(30) +
                                    QByteArray(1, '\x01');
        QCOMPARE(readAll(fixture.file(QStringLiteral("a.mp3"))), audio + expected);
        // The boxes keep what was typed; the message tells the save happened.
        QCOMPARE(fixture.text("txtTitle"), QString(35, 'T'));
        QCOMPARE(fixture.text("txtGenreCode"), QStringLiteral("99"));
        QCOMPARE(fixture.text("lblMsg"), QStringLiteral("Tag saved"));
    }

    // A save writes each field changed since the click to the ID3v2 tag too, whole, and keeps
    // the tag's other fields, its version and the audio; TagLib reads the result. A tag that
    // must grow needs a new file, which would break the file's hard links apart: it is left as
    // it was, and the window says so.
    void savingKeepsTheId3v2TagInStep_data() {
        QTest::addColumn<QByteArray>("id3v2");
        QTest::addColumn<bool>("withTrailer");
        QTest::addColumn<bool>("hardLinked");
        QTest::addColumn<bool>("written");

        using test_tags::handmadeTag;
        const std::vector<std::pair<QByteArray, QByteArray>> frames = {
            {"TIT2", "Old"}, {"TPE1", "Tag artist"}, {"TALB", "Tag album"}};
        QTest::newRow("2.3 with padding") << handmadeTag(3, frames, 600) << true << false << true;
        QTest::newRow("2.4 with a footer")
            << handmadeTag(4, frames, 600, true) << true << false << true;
        QTest::newRow("2.4 without padding") << handmadeTag(4, frames, 0) << true << false << true;
        QTest::newRow("2.3 with a 300 KB picture, by TagLib")
            << test_tags::renderedTag(3, QStringLiteral("Old"), 10, 300'000) << true << false
            << true;
        QTest::newRow("ID3v2 only") << handmadeTag(4, frames, 600) << false << false << true;
        QTest::newRow("2.2, which is left")
            << handmadeTag(2, {{"TT2", "Old"}, {"TP1", "Tag artist"}}, 100) << true << false
            << false;
        QTest::newRow("2.4 that must grow, with hard links")
            << handmadeTag(4, frames, 0) << true << true << false;
    }

    void savingKeepsTheId3v2TagInStep() {
        QFETCH(QByteArray, id3v2);
        QFETCH(bool, withTrailer);
        QFETCH(bool, hardLinked);
        QFETCH(bool, written);
        WindowFixture fixture;
        const core::FilePath path = fixture.file(QStringLiteral("a.mp3"));
        const QByteArray audio = audioBytes(4000);
        const QByteArray trailerBefore = withTrailer ? trailer("Old", "Trailer artist") : "";
        writeAll(path, id3v2 + audio + trailerBefore);
        if (hardLinked) {
            QCOMPARE(::link(path.c_str(), fixture.file(QStringLiteral("linked.bin")).c_str()), 0);
        }
        const QString title = QStringLiteral("Café del Mar – Ibiza €dition, the long version");
        QStringList expected = readByTagLib(path);
        expected[1] = written ? title : expected[1];
        expected[4] = QStringLiteral("trailer");
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        edit(fixture, "txtTitle", title);

        const ShownMessageBox box = answerMessageBox([&] { fixture.click("cmdWriteTag"); });

        QCOMPARE(box.shown, hardLinked);
        if (hardLinked) {
            QCOMPARE(box.icon, QMessageBox::Warning);
            QVERIFY2(box.text.contains(QStringLiteral("ID3v1 tag was saved")) &&
                         box.text.contains(QStringLiteral("hard links")),
                     qPrintable(box.text));
        }
        QCOMPARE(readByTagLib(path), expected);  // the artist the tag's, not the trailer's
        const QByteArray saved = readAll(path);
        if (!written) {
            QCOMPARE(saved.left(id3v2.size()), id3v2);
        }
        const QByteArray newTrailer = saved.right(128);
        QCOMPARE(newTrailer.mid(3, 30), core::CodePage::system().encode(title).bytes.left(30));
        QCOMPARE(newTrailer.mid(33, 14),
                 withTrailer ? QByteArray("Trailer artist") : QByteArray(14, ' '));
        QCOMPARE(saved.mid(saved.size() - audio.size() - 128, audio.size()), audio);
        QCOMPARE(fixture.text("lblMsg"),
                 written ? QStringLiteral("Tag saved") : QStringLiteral("ID3v1 saved, ID3v2 not"));
    }

    void savingKeepsTheTrackAndGenreThatAnotherToolStored() {
        WindowFixture fixture;
        const QByteArray audio = audioBytes(800);
        const QByteArray comment = QByteArray("Ripped").leftJustified(28, '\0') + '\0' + '\x07';
        writeAll(fixture.file(QStringLiteral("a.mp3")),
                 audio + trailer("Old", "Artist", {}, {}, comment, 147));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        edit(fixture, "txtTitle", QStringLiteral("New"));

        fixture.click("cmdWriteTag");
        QByteArray saved = readAll(fixture.file(QStringLiteral("a.mp3")));
        QCOMPARE(saved.size(), audio.size() + 128);
        QCOMPARE(saved.mid(audio.size() + 97, 31),
                 QByteArray("Ripped").leftJustified(28) + '\0' + '\x07' + char(147));

        // A comment that fills the field takes the track's place.
        edit(fixture, "txtComment", QString(29, 'c'));
        fixture.click("cmdWriteTag");
        saved = readAll(fixture.file(QStringLiteral("a.mp3")));
        QCOMPARE(saved.mid(audio.size() + 97, 31), QByteArray(29, 'c') + ' ' + char(147));
    }

    void savingAppendsToAFileWithoutTrailerSoNoAudioIsLost_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("audio") << audioBytes(5000);
        QTest::newRow("shorter than a trailer") << audioBytes(100);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("lower-case tag at the end") << audioBytes(300) + "tag" + audioBytes(125);
    }

    void savingAppendsToAFileWithoutTrailerSoNoAudioIsLost() {
        QFETCH(QByteArray, before);
        WindowFixture fixture;
        writeAll(fixture.file(QStringLiteral("a.mp3")), before);
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        edit(fixture, "txtTitle", QStringLiteral("New"));

        QVERIFY(runsWithoutMessageBox([&] { fixture.click("cmdWriteTag"); }));

        const QByteArray after = readAll(fixture.file(QStringLiteral("a.mp3")));
        QCOMPARE(after.size(), before.size() + 128);
        QCOMPARE(after.left(before.size()), before);
        QCOMPARE(after.mid(before.size(), 6), QByteArray("TAGNew"));
        QCOMPARE(after.back(), '\0');  // no genre chosen
        QCOMPARE(fixture.text("lblMsg"), QStringLiteral("Tag saved"));
    }

    void theWriterLooksAtTheFileAsItIsWhenSaving() {
        WindowFixture fixture;
        writeAll(fixture.file(QStringLiteral("a.mp3")), audioBytes(400) + trailer("Tagged"));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        // Another program puts a longer, untagged file in its place after the click.
        const QByteArray replaced = audioBytes(900);
        writeAll(fixture.file(QStringLiteral("a.mp3")), replaced);

        QVERIFY(runsWithoutMessageBox([&] { fixture.click("cmdWriteTag"); }));

        const QByteArray after = readAll(fixture.file(QStringLiteral("a.mp3")));
        QCOMPARE(after.left(replaced.size()), replaced);
        QCOMPARE(after.size(), replaced.size() + 128);
    }

    void writeThenReadShowsTheSameTag() {
        WindowFixture fixture;
        writeAll(fixture.file(QStringLiteral("a.mp3")), audioBytes(700));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        edit(fixture, "txtTitle", QString::fromLatin1("Caf\xE9 del Mar"));
        edit(fixture, "txtArtist", QStringLiteral(" Someone"));
        edit(fixture, "txtYear", QStringLiteral("1999"));
        fixture.genres()->setCurrentIndex(31);  // Trance, stored as the code of a space
        fixture.click("cmdWriteTag");

        fixture.clickFile(QStringLiteral("a.mp3"));

        QCOMPARE(shownFields(fixture), (QStringList{QString::fromLatin1("Caf\xE9 del Mar"),
                                                    " Someone", "", "1999", "", "32"}));
        QCOMPARE(fixture.genres()->currentIndex(), 31);
        QCOMPARE(fixture.text("lblMsg"), QString());
    }

    void aFieldWiderThanItsBoxShowsItsStart() {
        WindowFixture fixture;
        const QByteArray wide("WIDE TEXT THAT FILLS ITS FIELD");
        writeAll(fixture.file(QStringLiteral("a.mp3")), trailer(wide, wide, wide, "2024", wide));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        for (const char* name : {"txtTitle", "txtArtist", "txtAlbum", "txtComment"}) {
            auto* box = fixture.control<QLineEdit>(name);
            QCOMPARE(box->text(), QString::fromLatin1(wide));
            QVERIFY2(box->fontMetrics().horizontalAdvance(box->text()) > box->width(), name);
            QVERIFY2(box->cursorPositionAt(QPoint(1, box->height() / 2)) == 0, name);
        }
    }

    // Every byte value but NUL, a field's end, typed into the fields, saved, shown again when the
    // file is read, and saved back unchanged.
    void everyByteValueGoesThroughTheFieldsAndBack_data() {
        QTest::addColumn<int>("first");
        for (int first = 1; first < 256; first += 124) {
            QTest::newRow(qPrintable(QStringLiteral("from 0x%1").arg(first, 2, 16, QChar('0'))))
                << first;
        }
    }

    void everyByteValueGoesThroughTheFieldsAndBack() {
        QFETCH(int, first);
        QByteArray bytes;
        for (int value = first; value < first + 124; ++value) {
            bytes += static_cast<char>(value < 256 ? value : 'x');
        }
        const QList<std::pair<const char*, QByteArray>> fields = {{"txtTitle", bytes.mid(0, 30)},
                                                                  {"txtArtist", bytes.mid(30, 30)},
                                                                  {"txtAlbum", bytes.mid(60, 30)},
                                                                  {"txtYear", bytes.mid(90, 4)},
                                                                  {"txtComment", bytes.mid(94)}};
        WindowFixture fixture;
        const QByteArray audio = audioBytes(400);
        writeAll(fixture.file(QStringLiteral("a.mp3")), audio);
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        for (const auto& [box, text] : fields) {
            edit(fixture, box, core::CodePage::system().decode(text));
        }
        fixture.genres()->setCurrentIndex(4);
        QVERIFY(runsWithoutMessageBox([&] { fixture.click("cmdWriteTag"); }));
        const QByteArray saved = readAll(fixture.file(QStringLiteral("a.mp3")));
        QCOMPARE(saved, audio + "TAG" + bytes + '\x05');

        for (const auto& [box, text] : fields) {
            edit(fixture, box, QString());
        }
        fixture.clickFile(QStringLiteral("a.mp3"));
        for (const auto& [box, text] : fields) {
            QCOMPARE(fixture.text(box), core::CodePage::system().decode(text));
        }
        QVERIFY(runsWithoutMessageBox([&] { fixture.click("cmdWriteTag"); }));
        QCOMPARE(readAll(fixture.file(QStringLiteral("a.mp3"))), saved);
    }

    void aVeryLongTitleStaysWholeInTheBoxAndIsCutInTheFile() {
        WindowFixture fixture;
        writeAll(fixture.file(QStringLiteral("a.mp3")), trailer("Short"));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        const QString longTitle = QString(10000, QLatin1Char('w'));
        QTest::keyClicks(fixture.control<QLineEdit>("txtTitle"), longTitle.left(100));
        QCOMPARE(fixture.text("txtTitle").size(), 105);
        edit(fixture, "txtTitle", longTitle);

        QVERIFY(runsWithoutMessageBox([&] { fixture.click("cmdWriteTag"); }));

        QCOMPARE(fixture.text("txtTitle"), longTitle);
        const QByteArray saved = readAll(fixture.file(QStringLiteral("a.mp3")));
        QCOMPARE(saved.size(), 128);
        QCOMPARE(saved.mid(3, 31), QByteArray(30, 'w') + ' ');
    }

    void charactersOutsideTheCodePageAreSavedAsQuestionMarksAndCounted() {
        WindowFixture fixture;
        writeAll(fixture.file(QStringLiteral("a.mp3")), audioBytes(10));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        edit(fixture, "txtTitle", QStringLiteral(u"\u03A9mega \u266B\U0001F600!"));
        edit(fixture, "txtComment", QStringLiteral(u"\U0001F600").repeated(29));
        fixture.click("cmdWriteTag");
        const QByteArray saved = readAll(fixture.file(QStringLiteral("a.mp3")));
        QCOMPARE(saved.mid(10 + 3, 10), QByteArray("?mega ??") + "! ");
        QCOMPARE(saved.mid(10 + 97, 30), QByteArray(29, '?') + ' ');
        QCOMPARE(fixture.text("lblMsg"), QStringLiteral("Saved; 32 became ?"));
        const QString toolTip = fixture.control<QLabel>("lblMsg")->toolTip();
        QVERIFY2(toolTip.contains(QStringLiteral(u"\u03A9 \u266B \U0001F600 \U0001F600")),
                 qPrintable(toolTip));

        // What the code page holds is saved without a word about it.
        edit(fixture, "txtTitle", QStringLiteral("Café – €"));
        edit(fixture, "txtComment", QString());
        fixture.click("cmdWriteTag");
        QCOMPARE(readAll(fixture.file(QStringLiteral("a.mp3"))).mid(10 + 3, 9),
                 "Caf\xE9 \x96 \x80 ");
        QCOMPARE(fixture.text("lblMsg"), QStringLiteral("Tag saved"));
        QCOMPARE(fixture.control<QLabel>("lblMsg")->toolTip(), QString());
    }

    void twoNamesThatAreNotUtf8EachReadAndSaveTheirOwnFile() {
        WindowFixture fixture;
        const core::FilePath ff("bad\xFFname.mp3");
        const core::FilePath fe("bad\xFEname.mp3");
        const QByteArray audio = audioBytes(600);
        writeAll(fixture.file(ff), audio + trailer("Eff", "One"));
        writeAll(fixture.file(fe), audio + trailer("Fee", "Two"));
        fixture.open();
        const QStringList before =
            QDir(qtPath(fixture.folder())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        fixture.clickFile(ff);
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Eff"));
        fixture.clickFile(fe);
        QCOMPARE(fixture.text("txtArtist"), QStringLiteral("Two"));
        edit(fixture, "txtTitle", QStringLiteral("Changed"));
        QVERIFY(runsWithoutMessageBox([&] { fixture.click("cmdWriteTag"); }));

        QCOMPARE(readAll(fixture.file(ff)), audio + trailer("Eff", "One"));
        const QByteArray saved = readAll(fixture.file(fe));
        QCOMPARE(saved.size(), audio.size() + 128);
        QCOMPARE(saved.mid(audio.size(), 10), QByteArray("TAGChanged"));
        QCOMPARE(QDir(qtPath(fixture.folder())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 before);
        fixture.clickFile(ff);
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Eff"));
    }

    void awkwardNamesReadAndSave_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::newRow("hash") << QByteArray("a#b.mp3");
        QTest::newRow("percent") << QByteArray("100%25.mp3");
        QTest::newRow("question mark") << QByteArray("why?.mp3");
        QTest::newRow("space") << QByteArray("two words.mp3");
        QTest::newRow("backslash") << QByteArray("back\\slash.mp3");
        QTest::newRow("newline") << QByteArray("new\nline.mp3");
        QTest::newRow("leading dash") << QByteArray("-lead.mp3");
        QTest::newRow("Latin-1") << QByteArray("Caf\xE9.mp3");
    }

    void awkwardNamesReadAndSave() {
        QFETCH(QByteArray, name);
        WindowFixture fixture;
        const core::FilePath path = fixture.file(core::FilePath(name));
        writeAll(path, audioBytes(300) + trailer("Old"));
        fixture.open();
        fixture.clickFile(core::FilePath(name));
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Old"));
        edit(fixture, "txtTitle", QStringLiteral("New"));

        QVERIFY(runsWithoutMessageBox([&] { fixture.click("cmdWriteTag"); }));

        QCOMPARE(readAll(path).mid(300, 6), QByteArray("TAGNew"));
        QCOMPARE(readAll(path).size(), 300 + 128);
    }

    void savingIsRefusedWhileTheStripHoldsAFile_data() {
        QTest::addColumn<int>("state");
        QTest::newRow("playing") << 2;
        QTest::newRow("paused") << 1;
    }

    void savingIsRefusedWhileTheStripHoldsAFile() {
        QFETCH(int, state);
        WindowFixture fixture;
        const QByteArray content = audioBytes(500) + trailer("Keep");
        writeAll(fixture.file(QStringLiteral("a.mp3")), content);
        writeAll(fixture.file(QStringLiteral("b.mp3")), audioBytes(500));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        edit(fixture, "txtTitle", QStringLiteral("Changed"));
        fixture.media().reportState(0, state);

        for (const QString& name : {QStringLiteral("a.mp3"), QStringLiteral("b.mp3")}) {
            fixture.clickFile(name);
            const ShownMessageBox box = answerMessageBox([&] { fixture.click("cmdWriteTag"); });
            QVERIFY(box.shown);
            QCOMPARE(box.title, QStringLiteral("MP3 Tag Save Error"));
            QCOMPARE(box.text, QStringLiteral("You can't save to an open file"));
            QCOMPARE(box.icon, QMessageBox::Critical);
            QCOMPARE(box.buttonCount, 1);
        }
        QCOMPARE(readAll(fixture.file(QStringLiteral("a.mp3"))), content);
        QCOMPARE(readAll(fixture.file(QStringLiteral("b.mp3"))), audioBytes(500));

        fixture.media().reportState(state, 0);
        QVERIFY(runsWithoutMessageBox([&] { fixture.click("cmdWriteTag"); }));
        QCOMPARE(readAll(fixture.file(QStringLiteral("b.mp3"))).size(), 500 + 128);
    }

    void aSaveThatCannotBeDoneSaysWhyAndCreatesNothing_data() {
        QTest::addColumn<QString>("replacement");
        QTest::newRow("file removed after the click") << "removed";
        QTest::newRow("folder in the file's place") << "folder";
        QTest::newRow("FIFO in the file's place") << "fifo";
        QTest::newRow("no file selected") << "unselected";
        QTest::newRow("link to a text file in the file's place") << "link";
    }

    void aSaveThatCannotBeDoneSaysWhyAndCreatesNothing() {
        QFETCH(QString, replacement);
        WindowFixture fixture;
        const QString path = qtPath(fixture.file(QStringLiteral("a.mp3")));
        writeAll(path, audioBytes(300));
        fixture.open();
        fixture.clickFile(QStringLiteral("a.mp3"));
        edit(fixture, "txtTitle", QStringLiteral("New"));
        if (replacement == QLatin1String("unselected")) {
            fixture.files()->clearSelection();
        } else {
            QFile::remove(path);
        }
        if (replacement == QLatin1String("folder")) {
            QDir(qtPath(fixture.folder())).mkdir(QStringLiteral("a.mp3"));
        } else if (replacement == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        } else if (replacement == QLatin1String("link")) {
            writeAll(fixture.file(QStringLiteral("notes.txt")), "Shopping list");
            QVERIFY(QFile::link(QStringLiteral("notes.txt"), path));
        }
        const QStringList before =
            QDir(qtPath(fixture.folder())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        const ShownMessageBox box = answerMessageBox([&] { fixture.click("cmdWriteTag"); });

        QVERIFY(box.shown);
        QCOMPARE(box.title, QStringLiteral("MP3 Tag Save Error"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.buttonCount, 1);
        if (replacement != QLatin1String("unselected")) {
            QVERIFY2(box.text.contains(path), qPrintable(box.text));
        }
        QCOMPARE(QDir(qtPath(fixture.folder())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 before);
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("New"));
        if (replacement == QLatin1String("folder")) {
            QVERIFY(QDir(path).isEmpty());
        } else if (replacement == QLatin1String("link")) {
            QVERIFY2(box.text.contains(QStringLiteral("which is no MP3 file")),
                     qPrintable(box.text));
            QCOMPARE(readAll(fixture.file(QStringLiteral("notes.txt"))),
                     QByteArray("Shopping list"));
        }
    }
};

QTEST_MAIN(WindowTagTest)
#include "window_tag_test.moc"

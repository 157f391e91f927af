// Showing a file's tag when it is clicked, and saving the edited tag back into the file.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTextDocument>
#include <QtTest>

#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include "core/code_page.h"
#include "storage/write_journal.h"

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

ShownMessageBox save(const WindowFixture& fixture) {
    return answerMessageBox([&fixture] { fixture.click("cmdWriteTag"); });
}

bool isSaveError(const ShownMessageBox& box) {
    return box.shown && box.title == QStringLiteral("MP3 Tag Save Error") &&
           box.icon == QMessageBox::Critical && box.buttonCount == 1;
}

QStringList folderEntries(const WindowFixture& fixture) {
    return QDir(qtPath(fixture.folder())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

// The message label's tooltip as a pointer resting on the label shows it.
QString messageToolTip(const WindowFixture& fixture) {
    auto* label = fixture.control<QLabel>("lblMsg");
    QHelpEvent rest(QEvent::ToolTip, label->rect().center(),
                    label->mapToGlobal(label->rect().center()));
    QApplication::sendEvent(label, &rest);
    QTextDocument shown;
    shown.setHtml(label->toolTip());
    return shown.toPlainText();
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

    // The fields show the trailer, each from its start; the message label tells of an ID3v2
    // tag the file begins with, and its tooltip what that tag names.
    void showsTheTagsOfTheClickedFile_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("details");
        const auto row = [](const char* name, const QByteArray& content, const QStringList& fields,
                            int genre, const QString& message = {}, const QString& details = {}) {
            QTest::newRow(name) << content << fields << genre << message << details;
        };
        const QByteArray audio = audioBytes(3000);
        const QStringList none(6, QString());

        row("trimmed fields, Blues",
            audio + trailer(QByteArray("Title").leftJustified(30), "Artist", "Album", "1999",
                            "Comment", 1),
            {"Title", "Artist", "Album", "1999", "Comment", "1"}, 0);
        row("leading spaces stay", audio + trailer("  Lead", "", "", "", "", 34),
            {"  Lead", "", "", "", "", "34"}, 33);
        row("NUL-filled fields end at the NUL",
            audio + trailer(QByteArray("Abc\0zz", 6), {}, {}, {}, {}, 0),
            {"Abc", "", "", "", "", "0"}, -1);
        row("space-filled fields",
            audio + trailer(QByteArray(30, ' '), QByteArray(30, ' '), {}, "    ", {}, 32),
            {"", "", "", "", "", "32"}, 31);
        row("comment with a zero and a track byte",
            audio + trailer("T", {}, {}, {}, QByteArray(28, 'c') + QByteArray("\0\x07", 2), 2),
            {"T", "", "", "", QString(28, 'c'), "2"}, 1);
        row("comment with spaces before its zero and track",
            audio +
                trailer("T", {}, {}, {},
                        QByteArray("ripped by kid3").leftJustified(28) + QByteArray("\0\x05", 2),
                        2),
            {"T", "", "", "", "ripped by kid3", "2"}, 1);
        row("genre 35 selects nothing", audio + trailer("T", {}, {}, {}, {}, 35),
            {"T", "", "", "", "", "35"}, -1);
        row("genre 200 selects nothing", audio + trailer("T", {}, {}, {}, {}, 200),
            {"T", "", "", "", "", "200"}, -1);
        row("Latin-1 text", audio + trailer("Caf\xE9", "\xC6sop"),
            {QString::fromLatin1("Caf\xE9"), QString::fromLatin1("\xC6sop"), "", "", "", "0"}, -1);
        row("all trailer", trailer("Only"), {"Only", "", "", "", "", "0"}, -1);
        const char* wide = "WIDE TEXT THAT FILLS ITS FIELD";
        row("fields wider than their boxes", trailer(wide, wide, wide, "2024", wide),
            {wide, wide, wide, "2024", wide, "0"}, -1);
        row("no trailer", audio, none, -1, "No tag");
        row("lower-case tag", audio + "tag" + trailer("x").mid(3), none, -1, "No tag");
        row("shorter than a trailer", "TAG", none, -1, "No tag");
        row("empty", {}, none, -1, "No tag");

        using test_tags::frame;
        using test_tags::latin1Text;
        const QByteArray v24 = test_tags::tag(
            4,
            frame(4, "TIT2", '\x03' + QStringLiteral("Группа <b>крови</b>").toUtf8()) +
                frame(4, "TPE1", latin1Text("Artist")) + frame(4, "TALB", latin1Text("Album")),
            100);
        row("ID3v2.4 only", v24 + audio, none, -1, "No tag (ID3v2 only)",
            "ID3v2.4 tag at the file's start:\nTitle: Группа <b>крови</b>\nArtist: Artist\n"
            "Album: Album");
        row("ID3v2.3 with a 300 KB picture, and a trailer",
            test_tags::tag(
                3, frame(3, "APIC", audioBytes(300'000)) + frame(3, "TIT2", latin1Text("Title")),
                0) +
                audio + trailer("Trailer"),
            {"Trailer", "", "", "", "", "0"}, -1, "Also an ID3v2 tag",
            "ID3v2.3 tag at the file's start:\nTitle: Title\nArtist: \nAlbum: ");
        row("ID3v2.2 only", test_tags::handmadeTag(2, {{"TT2", "Old"}}, 10) + audio, none, -1,
            "No tag (ID3v2 only)",
            "ID3v2.2 tag at the file's start:\nTitle: Old\nArtist: \nAlbum: ");
        row("a header of no known version", "ID3\x05" + audio + trailer("Trailer"),
            {"Trailer", "", "", "", "", "0"}, -1);
        row("an ID3v2 tag not at the start", audio + v24 + audio, none, -1, "No tag");
    }

    void showsTheTagsOfTheClickedFile() {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, fields);
        QFETCH(int, genre);
        QFETCH(QString, message);
        QFETCH(QString, details);
        WindowFixture fixture;
        writeAll(fixture.file("a.mp3"), test_tags::handmadeTag(3, {{"TIT2", "A"}}, 10) +
                                            audioBytes(500) +
                                            trailer("Before", "B", "B", "B", "B", 5));
        writeAll(fixture.file("b.mp3"), content);
        fixture.open();

        // Another file's tags first, so that any leftover of them would show.
        fixture.clickFile("a.mp3");
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Before"));
        QVERIFY(!messageToolTip(fixture).isEmpty());
        fixture.clickFile("b.mp3");

        QCOMPARE(shownFields(fixture), fields);
        QCOMPARE(fixture.genres()->currentIndex(), genre);
        for (const QString& name : kTextBoxes) {
            auto* box = fixture.control<QLineEdit>(name.toLatin1().constData());
            box->grab();  // painted, the box has scrolled to where its cursor is
            QVERIFY2(box->cursorPositionAt(QPoint(1, box->height() / 2)) == 0, qPrintable(name));
        }
        QCOMPARE(fixture.text("lblMsg"), message);
        // With no screen reader listening (the accessibility test has one), the details are read
        // when the tooltip is asked for, and then serve as the description too.
        QCOMPARE(messageToolTip(fixture), details);
        QCOMPARE(fixture.control<QLabel>("lblMsg")->accessibleDescription(), details);
        QCOMPARE(readAll(fixture.file("b.mp3")), content);
    }

    void eachClickOrArrowKeyReadsTheFileAgain() {
        WindowFixture fixture;
        writeAll(fixture.file("a.mp3"), trailer("One"));
        writeAll(fixture.file("b.mp3"), trailer("Two"));
        fixture.open();
        fixture.clickFile("a.mp3");
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("One"));
        QTest::keyClick(fixture.files(), Qt::Key_Down);
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Two"));

        writeAll(fixture.file("a.mp3"), audioBytes(500) + trailer("Changed"));
        QTest::keyClick(fixture.files(), Qt::Key_Up);
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Changed"));
        writeAll(fixture.file("a.mp3"), audioBytes(500) + trailer("Again"));
        fixture.clickFile("a.mp3");
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Again"));
    }

    // A click on a file that holds the record of a save that a kill cut short says what became
    // of it: finished; ignored, as a record that no save of this file could have made; or not
    // finished on a file that no one may write, whose tag shown may then be half-written.
    void aClickTellsWhatBecameOfAnInterruptedSave_data() {
        QTest::addColumn<bool>("intoAudio");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("title");
        QTest::newRow("finished") << false << false << "An interrupted save was finished"
                                  << "After!";
        QTest::newRow("a record that would write audio")
            << true << false << "An interrupted save was ignored"
            << "Aftore";
        QTest::newRow("a file no one may write")
            << false << true << "The tag shown may be half-written"
            << "Aftore";
    }

    void aClickTellsWhatBecameOfAnInterruptedSave() {
        QFETCH(bool, intoAudio);
        QFETCH(bool, readOnly);
        QFETCH(QString, message);
        QFETCH(QString, title);
        WindowFixture fixture;
        const core::FilePath path = fixture.file("a.mp3");
        const QByteArray audio = audioBytes(1000);
        const QByteArray before = trailer("Before");
        const QByteArray after = trailer("After!");
        const QByteArray torn = audio + after.left(6) + before.mid(6);
        writeAll(path, torn);
        const storage::InPlaceWrite write =
            intoAudio
                ? storage::InPlaceWrite{1128, {{10, audio.mid(10, 4).toStdString(), "XXXX"}}}
                : storage::InPlaceWrite{1128, {{1000, before.toStdString(), after.toStdString()}}};
        struct stat status {};
        ::stat(path.c_str(), &status);
        const std::string record = storage::encodeRecord({storage::identityOf(status), write});
        QCOMPARE(
            ::setxattr(path.c_str(), storage::kJournalAttribute, record.data(), record.size(), 0),
            0);
        ::chmod(path.c_str(), readOnly ? 0444 : 0644);
        fixture.open();

        fixture.clickFile("a.mp3");

        QCOMPARE(fixture.text("lblMsg"), message);
        QVERIFY2(messageToolTip(fixture).contains(QStringLiteral("cut short")),
                 qPrintable(messageToolTip(fixture)));
        QCOMPARE(fixture.text("txtTitle"), title);
        QCOMPARE(readAll(path), title == QStringLiteral("After!") ? audio + after : torn);
    }

    void aFileThatIsGoneOrNoLongerAFileReadsAsNoTagAndItsTagIsNotSavedOverUnseen() {
        WindowFixture fixture;
        writeAll(fixture.file("gone.mp3"), trailer("Gone"));
        writeAll(fixture.file("pipe.mp3"), trailer("Pipe"));
        writeAll(fixture.file("x.mp3"), trailer("Tagged"));
        fixture.open();
        QFile::remove(qtPath(fixture.file("gone.mp3")));
        QFile::remove(qtPath(fixture.file("pipe.mp3")));
        QCOMPARE(::mkfifo(fixture.file("pipe.mp3").c_str(), 0644), 0);

        fixture.clickFile("x.mp3");
        fixture.clickFile("gone.mp3");
        QCOMPARE(fixture.text("lblMsg"), QStringLiteral("Cannot read file"));
        QCOMPARE(fixture.text("txtTitle"), QString());
        QVERIFY2(!QFile::exists(qtPath(fixture.file("gone.mp3"))), "reading created the file");
        // Back with its tag, which the cleared boxes never showed: a save would blank it.
        const QByteArray back = audioBytes(300) + trailer("Gone", "Artist", "Album");
        writeAll(fixture.file("gone.mp3"), back);
        edit(fixture, "txtTitle", "Typed");
        const ShownMessageBox refusal = save(fixture);
        QVERIFY2(refusal.text.contains(QStringLiteral("choose the file again")),
                 qPrintable(refusal.text));
        QCOMPARE(readAll(fixture.file("gone.mp3")), back);

        fixture.clickFile("x.mp3");
        fixture.clickFile("pipe.mp3");
        QCOMPARE(fixture.text("lblMsg"), QStringLiteral("No tag"));
        QCOMPARE(fixture.text("txtTitle"), QString());
    }

    // The boxes take text of any length and keep it; the file gets what its fields hold, and
    // shows it when it is read again.
    void savingOverwritesOnlyTheTrailerAndReadsBackWhatFits() {
        WindowFixture fixture;
        const QByteArray audio = audioBytes(5000);
        writeAll(fixture.file("a.mp3"), audio + trailer("Old", "Old", "Old", "1990", "Old", 3));
        fixture.open();
        fixture.clickFile("a.mp3");
        QTest::keyClicks(fixture.control<QLineEdit>("txtTitle"), QString(100, 'w'));
        QCOMPARE(fixture.text("txtTitle").size(), 103);
        const QString longTitle(10000, 'w');
        const QString artist = QString::fromLatin1(" Caf\xE9 del Mar");
        edit(fixture, "txtTitle", longTitle);
        edit(fixture, "txtArtist", artist);
        edit(fixture, "txtAlbum", QString());
        edit(fixture, "txtYear", "20245");
        edit(fixture, "txtComment", "  spaced");
        edit(fixture, "txtGenreCode", "99");    // never read: the list decides
        fixture.genres()->setCurrentIndex(31);  // Trance, stored as the code of a space

        QVERIFY(!save(fixture).shown);

        const QByteArray expected =
            "TAG" + QByteArray(30, 'w') + QByteArray(" Caf\xE9 del Mar").leftJustified(30) +
            QByteArray(30, ' ') + "2024" + QByteArray("  spaced").leftJustified(30) + ' ';
        QCOMPARE(readAll(fixture.file("a.mp3")), audio + expected);
        // The boxes keep what was typed; the message tells the save happened.
        QCOMPARE(fixture.text("txtTitle"), longTitle);
        QCOMPARE(fixture.text("txtGenreCode"), QStringLiteral("99"));
        QCOMPARE(fixture.text("lblMsg"), QStringLiteral("Tag saved"));

        fixture.clickFile("a.mp3");
        QCOMPARE(shownFields(fixture),
                 (QStringList{QString(30, 'w'), artist, "", "2024", "  spaced", "32"}));
        QCOMPARE(fixture.genres()->currentIndex(), 31);
        QCOMPARE(fixture.text("lblMsg"), QString());
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
        QTest::newRow("2.3 whose size runs past the end of the file")
            << handmadeTag(3, frames, 600).replace(6, 4, "\x01\0\0\0") << true << false << false;
    }

    void savingKeepsTheId3v2TagInStep() {
        QFETCH(QByteArray, id3v2);
        QFETCH(bool, withTrailer);
        QFETCH(bool, hardLinked);
        QFETCH(bool, written);
        WindowFixture fixture;
        const core::FilePath path = fixture.file("a.mp3");
        const QByteArray audio = audioBytes(4000);
        const QByteArray trailerBefore = withTrailer ? trailer("Old", "Trailer artist") : "";
        writeAll(path, id3v2 + audio + trailerBefore);
        if (hardLinked) {
            QCOMPARE(::link(path.c_str(), fixture.file("linked.bin").c_str()), 0);
        }
        const QString title = QStringLiteral("Café del Mar – Ibiza €dition, the long version");
        QStringList expected = readByTagLib(path);
        expected[1] = written ? title : expected[1];
        expected[4] = QStringLiteral("trailer");
        fixture.open();
        fixture.clickFile("a.mp3");
        edit(fixture, "txtTitle", title);

        const ShownMessageBox box = save(fixture);

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
        writeAll(fixture.file("a.mp3"), audio + trailer("Old", "Artist", {}, {}, comment, 147));
        fixture.open();
        fixture.clickFile("a.mp3");
        edit(fixture, "txtTitle", "New");

        fixture.click("cmdWriteTag");
        QByteArray saved = readAll(fixture.file("a.mp3"));
        QCOMPARE(saved.size(), audio.size() + 128);
        QCOMPARE(saved.mid(audio.size() + 97, 31),
                 QByteArray("Ripped").leftJustified(28) + '\0' + '\x07' + char(147));

        // A comment that fills the field takes the track's place.
        edit(fixture, "txtComment", QString(29, 'c'));
        fixture.click("cmdWriteTag");
        saved = readAll(fixture.file("a.mp3"));
        QCOMPARE(saved.mid(audio.size() + 97, 31), QByteArray(29, 'c') + ' ' + char(147));
    }

    // The trailer goes after what the file holds at the save, whatever the click found there;
    // no byte of audio is lost, whatever the file's name.
    void savingAppendsATrailerOrReplacesTheOneAtTheEnd_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("atClick");
        QTest::addColumn<QByteArray>("atSave");
        QTest::newRow("audio") << QByteArray("a.mp3") << audioBytes(5000) << audioBytes(5000);
        QTest::newRow("shorter than a trailer")
            << QByteArray("a.mp3") << audioBytes(100) << audioBytes(100);
        QTest::newRow("empty") << QByteArray("a.mp3") << QByteArray() << QByteArray();
        const QByteArray lowerCase = audioBytes(300) + "tag" + audioBytes(125);
        QTest::newRow("lower-case tag at the end") << QByteArray("a.mp3") << lowerCase << lowerCase;
        // Another program puts a longer, untagged file in its place after the click.
        QTest::newRow("tagged, then replaced")
            << QByteArray("a.mp3") << audioBytes(400) + trailer("Old") << audioBytes(900);
        for (const auto& [label, name] : kAwkwardFileNames) {
            QTest::newRow(label) << name << audioBytes(300) + trailer("Old")
                                 << audioBytes(300) + trailer("Old");
        }
    }

    void savingAppendsATrailerOrReplacesTheOneAtTheEnd() {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, atClick);
        QFETCH(QByteArray, atSave);
        WindowFixture fixture;
        const core::FilePath path = fixture.file(core::FilePath(name));
        writeAll(path, atClick);
        fixture.open();
        fixture.clickFile(core::FilePath(name));
        QCOMPARE(fixture.text("txtTitle"),
                 atClick.endsWith(trailer("Old")) ? QStringLiteral("Old") : QString());
        writeAll(path, atSave);
        edit(fixture, "txtTitle", "New");

        QVERIFY(!save(fixture).shown);

        const QByteArray audio = atSave.endsWith(trailer("Old")) ? atSave.chopped(128) : atSave;
        const QByteArray after = readAll(path);
        QCOMPARE(after.size(), audio.size() + 128);
        QCOMPARE(after.left(audio.size()), audio);
        QCOMPARE(after.mid(audio.size(), 6), QByteArray("TAGNew"));
        QCOMPARE(after.back(), '\0');  // no genre chosen
        QCOMPARE(fixture.text("lblMsg"), QStringLiteral("Tag saved"));
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
        writeAll(fixture.file("a.mp3"), audio);
        fixture.open();
        fixture.clickFile("a.mp3");
        for (const auto& [box, text] : fields) {
            edit(fixture, box, core::CodePage::system().decode(text));
        }
        fixture.genres()->setCurrentIndex(4);
        QVERIFY(!save(fixture).shown);
        const QByteArray saved = readAll(fixture.file("a.mp3"));
        QCOMPARE(saved, audio + "TAG" + bytes + '\x05');

        for (const auto& [box, text] : fields) {
            edit(fixture, box, QString());
        }
        fixture.clickFile("a.mp3");
        for (const auto& [box, text] : fields) {
            QCOMPARE(fixture.text(box), core::CodePage::system().decode(text));
        }
        QVERIFY(!save(fixture).shown);
        QCOMPARE(readAll(fixture.file("a.mp3")), saved);
    }

    void charactersOutsideTheCodePageAreSavedAsQuestionMarksAndCounted() {
        WindowFixture fixture;
        writeAll(fixture.file("a.mp3"), audioBytes(10));
        fixture.open();
        fixture.clickFile("a.mp3");
        edit(fixture, "txtTitle", QStringLiteral(u"\u03A9mega \u266B\U0001F600!"));
        edit(fixture, "txtComment", QStringLiteral(u"\U0001F600").repeated(29));
        fixture.click("cmdWriteTag");
        const QByteArray saved = readAll(fixture.file("a.mp3"));
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
        QCOMPARE(readAll(fixture.file("a.mp3")).mid(10 + 3, 9), "Caf\xE9 \x96 \x80 ");
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
        const QStringList before = folderEntries(fixture);

        fixture.clickFile(ff);
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Eff"));
        fixture.clickFile(fe);
        QCOMPARE(fixture.text("txtArtist"), QStringLiteral("Two"));
        edit(fixture, "txtTitle", "Changed");
        QVERIFY(!save(fixture).shown);

        QCOMPARE(readAll(fixture.file(ff)), audio + trailer("Eff", "One"));
        const QByteArray saved = readAll(fixture.file(fe));
        QCOMPARE(saved.size(), audio.size() + 128);
        QCOMPARE(saved.mid(audio.size(), 10), QByteArray("TAGChanged"));
        QCOMPARE(folderEntries(fixture), before);
        fixture.clickFile(ff);
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("Eff"));
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
        writeAll(fixture.file("a.mp3"), content);
        writeAll(fixture.file("b.mp3"), audioBytes(500));
        fixture.open();
        fixture.clickFile("a.mp3");
        edit(fixture, "txtTitle", "Changed");
        fixture.media().reportState(0, state);

        for (const char* name : {"a.mp3", "b.mp3"}) {
            fixture.clickFile(name);
            const ShownMessageBox box = save(fixture);
            QVERIFY2(isSaveError(box), name);
            QCOMPARE(box.text, QStringLiteral("You can't save to an open file"));
        }
        QCOMPARE(readAll(fixture.file("a.mp3")), content);
        QCOMPARE(readAll(fixture.file("b.mp3")), audioBytes(500));

        fixture.media().reportState(state, 0);
        QVERIFY(!save(fixture).shown);
        QCOMPARE(readAll(fixture.file("b.mp3")).size(), 500 + 128);
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
        const QString path = qtPath(fixture.file("a.mp3"));
        writeAll(path, audioBytes(300));
        fixture.open();
        fixture.clickFile("a.mp3");
        edit(fixture, "txtTitle", "New");
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
            writeAll(fixture.file("notes.txt"), "Shopping list");
            QVERIFY(QFile::link(QStringLiteral("notes.txt"), path));
        }
        const QStringList before = folderEntries(fixture);

        const ShownMessageBox box = save(fixture);

        QVERIFY2(isSaveError(box), qPrintable(box.text));
        if (replacement != QLatin1String("unselected")) {
            QVERIFY2(box.text.contains(path), qPrintable(box.text));
        }
        QCOMPARE(folderEntries(fixture), before);
        QCOMPARE(fixture.text("txtTitle"), QStringLiteral("New"));
        if (replacement == QLatin1String("folder")) {
            QVERIFY(QDir(path).isEmpty());
        } else if (replacement == QLatin1String("link")) {
            QVERIFY2(box.text.contains(QStringLiteral("which is no MP3 file")),
                     qPrintable(box.text));
            QCOMPARE(readAll(fixture.file("notes.txt")), QByteArray("Shopping list"));
        }
    }
};

QTEST_MAIN(WindowTagTest)
#include "window_tag_test.moc"

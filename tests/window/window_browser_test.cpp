// The drive, folder and file lists kept in step, and the way out through the credit box.
#include <unistd.h>

#include <QMimeData>
#include <QtTest>

#include "browser/folder_listing.h"
#include "browser/volumes.h"
#include "support/message_boxes.h"
#include "support/temp_files.h"
#include "support/window_fixture.h"

namespace {

QStringList entries(const QListWidget* list) {
    QStringList names;
    for (int row = 0; row < list->count(); ++row) {
        names << list->item(row)->text();
    }
    return names;
}

void openFolderEntry(browser::DirList* list, const QString& name) {
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    // A real double click is a click followed by a double-click event at the same place.
    const QPoint where = list->visualItemRect(found.front()).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, where);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, where);
}

}  // namespace

class WindowBrowserTest : public QObject {
    Q_OBJECT

private slots:
    void startsInTheStartFolderWithItsMp3FilesAndListsTheRootFirst() {
        WindowFixture fixture;
        for (const char* name : {"b.mp3", "A.MP3", "notes.txt", ".hidden.mp3"}) {
            test_files::writeAll(fixture.file(QLatin1String(name)), "x");
        }
        test_files::makeFolder(fixture.file(QStringLiteral("sub")));
        fixture.open();

        QCOMPARE(fixture.folders()->path(), fixture.folder());
        QCOMPARE(fixture.files()->path(), fixture.folder());
        QCOMPARE(fixture.files()->pattern(), QStringLiteral("*.mp3"));
        QCOMPARE(entries(fixture.files()), QStringList({"A.MP3", "b.mp3"}));
        QCOMPARE(fixture.drives()->drive(), browser::volumeOf(fixture.folder()));
        QVERIFY(entries(fixture.folders()).contains(QStringLiteral("sub")));
        QCOMPARE(fixture.files()->fileName(), core::FilePath());

        QCOMPARE(fixture.folders()->item(0)->text(), QStringLiteral("/"));
        const core::FilePath root("/");
        fixture.folders()->setPath(root);
        QCOMPARE(fixture.folders()->path(), root);
        QCOMPARE(fixture.files()->path(), root);
    }

    void listsAFolderOfTenThousandFiles() {
        WindowFixture fixture;
        for (int i = 0; i < 10000; ++i) {
            const QString suffix = i % 2 == 0 ? QStringLiteral(".mp3") : QStringLiteral(".txt");
            test_files::writeAll(fixture.file(QStringLiteral("track%1%2").arg(i).arg(suffix)), {});
        }
        fixture.open();

        QCOMPARE(fixture.files()->count(), 5000);
        QCOMPARE(fixture.files()->item(0)->text(), QStringLiteral("track0.mp3"));
        QCOMPARE(fixture.files()->item(1)->text(), QStringLiteral("track2.mp3"));
        QCOMPARE(fixture.files()->item(4999)->text(), QStringLiteral("track9998.mp3"));
    }

    // A folder whose name is not UTF-8 opens by a double click, its parent by Enter.
    void opensAFolderOnDoubleClickOrEnterOnly() {
        WindowFixture fixture;
        const core::FilePath folder = fixture.file(core::FilePath("Caf\xE9"));
        const core::FilePath inner = test_files::inFolder(folder, core::FilePath("inner\xFF.mp3"));
        test_files::makeFolder(folder);
        test_files::makeFolder(test_files::inFolder(folder, core::FilePath("\xC9t\xE9")));
        test_files::writeAll(inner, "x");
        fixture.open();
        browser::DirList* folders = fixture.folders();

        const QList<QListWidgetItem*> entry =
            folders->findItems(QStringLiteral("Caf\u00E9"), Qt::MatchExactly);
        QTest::mouseClick(folders->viewport(), Qt::LeftButton, {},
                          folders->visualItemRect(entry.front()).center());
        QCOMPARE(folders->path(), fixture.folder());

        openFolderEntry(folders, QStringLiteral("Caf\u00E9"));
        QCOMPARE(folders->path(), folder);
        QCOMPARE(fixture.files()->path(), folder);
        QCOMPARE(entries(fixture.files()), QStringList({"inner\u00FF.mp3"}));
        QVERIFY(entries(folders).contains(QStringLiteral("\u00C9t\u00E9")));
        QCOMPARE(fixture.drives()->drive(), browser::volumeOf(fixture.folder()));
        fixture.clickFile(core::FilePath("inner\xFF.mp3"));
        fixture.click("cmdOpen");
        QCOMPARE(fixture.media().source, inner);

        // Back up one level with the keyboard: highlight the parent, then Enter.
        const QString parentName = fixture.folder().fileName().readable();
        folders->setFocus();
        folders->setCurrentItem(folders->findItems(parentName, Qt::MatchExactly).front());
        QTest::keyClick(folders, Qt::Key_Return);
        QCOMPARE(folders->path(), fixture.folder());
        QCOMPARE(fixture.files()->path(), fixture.folder());
    }

    void namesThatAreNotUtf8ReadAsLatin1AndLookApart() {
        WindowFixture fixture;
        for (const char* name : {"Caf\xC3\xA9.mp3", "Caf\xE9.mp3", "Caf\xE9", "Caf\xC3\xA9"}) {
            const core::FilePath path = fixture.file(core::FilePath(name));
            if (path.bytes().endsWith(".mp3")) {
                test_files::writeAll(path, "x");
            } else {
                test_files::makeFolder(path);
            }
        }
        fixture.open();

        for (const QListWidget* list : {static_cast<QListWidget*>(fixture.files()),
                                        static_cast<QListWidget*>(fixture.folders())}) {
            const QString readable = list == fixture.files() ? QStringLiteral("Caf\u00E9.mp3")
                                                             : QStringLiteral("Caf\u00E9");
            const QList<QListWidgetItem*> found = list->findItems(readable, Qt::MatchExactly);
            QCOMPARE(found.size(), 2);
            // One of the two is set apart; it is the one whose bytes are not UTF-8.
            QCOMPARE_NE(found[0]->font().italic(), found[1]->font().italic());
            const QListWidgetItem* latin1 = found[0]->font().italic() ? found[0] : found[1];
            QVERIFY2(latin1->toolTip().contains(QStringLiteral("Caf\\xE9")),
                     qPrintable(latin1->toolTip()));
        }
    }

    void aFolderThatCannotBeOpenedLeavesTheListsWhereTheyWere_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("UTF-8") << QByteArray("gone") << "gone";
        QTest::newRow("not UTF-8") << QByteArray("gon\xE9") << "gon\u00E9 (name not in UTF-8)";
    }

    void aFolderThatCannotBeOpenedLeavesTheListsWhereTheyWere() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        WindowFixture fixture;
        const core::FilePath name(bytes);
        test_files::makeFolder(fixture.file(name));
        test_files::writeAll(fixture.file(QStringLiteral("a.mp3")), "x");
        fixture.open();
        QCOMPARE(::rmdir(fixture.file(name).c_str()), 0);

        const ShownMessageBox box =
            answerMessageBox([&] { openFolderEntry(fixture.folders(), name.readable()); });

        QVERIFY(box.shown);
        QCOMPARE(box.title, QStringLiteral("Tamsel's MP3 Player"));
        QVERIFY2(box.text.contains(fixture.folder().readable() + "/" + shown),
                 qPrintable(box.text));
        QCOMPARE(fixture.folders()->path(), fixture.folder());
        QCOMPARE(fixture.files()->path(), fixture.folder());
        QCOMPARE(entries(fixture.files()), QStringList({"a.mp3"}));
        QCOMPARE(fixture.drives()->drive(), browser::volumeOf(fixture.folder()));
    }

    // Named from outside the lists (the command line, another start, a drop): a file opens in
    // its folder, chosen as a click chooses it, and a folder opens itself; anything else leaves
    // the lists where they were and the message line says why.
    void opensWhatIsNamedFromOutside_data() {
        QTest::addColumn<QByteArray>("name");  // in the folder "far"
        QTest::addColumn<bool>("dropped");
        QTest::addColumn<QString>("title");  // shown once the file is chosen
        QTest::addColumn<QString>("message");
        QTest::newRow("a file") << QByteArray("Caf\xE9.mp3") << false << "Far"
                                << "";
        QTest::newRow("a file, dropped") << QByteArray("Caf\xE9.mp3") << true << "Far"
                                         << "";
        QTest::newRow("a folder") << QByteArray() << false << ""
                                  << "";
        QTest::newRow("a folder, dropped") << QByteArray() << true << ""
                                           << "";
        QTest::newRow("no such file") << QByteArray("none.mp3") << false << ""
                                      << "It does not exist";
        QTest::newRow("another kind of file, dropped") << QByteArray("notes.txt") << true << ""
                                                       << "It is no *.mp3 file";
    }

    void opensWhatIsNamedFromOutside() {
        QFETCH(QByteArray, name);
        QFETCH(bool, dropped);
        QFETCH(QString, title);
        QFETCH(QString, message);
        WindowFixture fixture;
        const core::FilePath far = fixture.file(QStringLiteral("far"));
        test_files::makeFolder(far);
        test_files::writeAll(test_files::inFolder(far, core::FilePath("Caf\xE9.mp3")),
                             test_files::trailer("Far"));
        test_files::writeAll(test_files::inFolder(far, core::FilePath("notes.txt")), "x");
        test_files::writeAll(fixture.file(QStringLiteral("near.mp3")), "x");
        fixture.open();
        const core::FilePath path =
            name.isEmpty() ? far : test_files::inFolder(far, core::FilePath(name));

        QString told;
        if (dropped) {
            QMimeData data;
            data.setUrls({QUrl(path.fileUri())});
            const QPoint where = fixture.window().rect().center();
            QDragEnterEvent enter(where, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&fixture.window(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(where, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&fixture.window(), &drop);
        } else {
            told = fixture.window().open(path);
        }

        const bool opens = message.isEmpty();
        QCOMPARE(fixture.folders()->path(), opens ? far : fixture.folder());
        QCOMPARE(fixture.files()->fileName(), core::FilePath(title.isEmpty() ? "" : name));
        QCOMPARE(fixture.drives()->drive(), browser::volumeOf(far));
        QCOMPARE(fixture.text("txtTitle"), title);
        QCOMPARE(fixture.text("lblMsg"), message);
        const auto* line = fixture.control<QLabel>("lblMsg");
        QVERIFY2(opens || line->toolTip().startsWith("Cannot open " + path.forMessages()),
                 qPrintable(line->toolTip()));
        QCOMPARE(line->accessibleDescription(), line->toolTip());
        QCOMPARE(told, dropped ? QString() : line->toolTip());
    }

    void eachDriveComesBackToTheLastFolderOpenedOnIt() {
        WindowFixture fixture;
        fixture.open();
        browser::DriveList* drives = fixture.drives();
        const core::FilePath startDrive = drives->drive();
        // The list reads the volumes when the user turns to it.
        QCOMPARE(drives->count(), 1);
        drives->setFocus(Qt::TabFocusReason);
        QVERIFY(drives->count() >= browser::mountedVolumes().size());
        core::FilePath otherDrive;
        for (int i = 0; i < drives->count() && otherDrive.isEmpty(); ++i) {
            const core::FilePath candidate(drives->itemData(i).toByteArray());
            if (candidate != startDrive && browser::whyUnlistable(candidate).isEmpty()) {
                otherDrive = candidate;
            }
        }
        if (otherDrive.isEmpty()) {
            QSKIP("this machine has one readable volume only");
        }

        drives->setDrive(otherDrive);
        QCOMPARE(fixture.folders()->path(), otherDrive);
        QCOMPARE(fixture.files()->path(), otherDrive);

        drives->setDrive(startDrive);
        QCOMPARE(fixture.folders()->path(), fixture.folder());
        QCOMPARE(fixture.files()->path(), fixture.folder());
    }

    void theExitButtonShowsTheCreditThenCloses() {
        WindowFixture fixture;
        fixture.open();

        const ShownMessageBox box = answerMessageBox([&] { fixture.click("Command1"); });

        QVERIFY(box.shown);
        QCOMPARE(box.title, QStringLiteral("Tamsel's MP3 Player"));
        QCOMPARE(box.text, QStringLiteral("Written by Corvenal"));
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.buttonCount, 1);
        QVERIFY2(box.ownerVisible, "the window closed before the credit was read");
        QVERIFY(!fixture.window().isVisible());
    }
};

QTEST_MAIN(WindowBrowserTest)
#include "window_browser_test.moc"

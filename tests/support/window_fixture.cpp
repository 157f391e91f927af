#include "support/window_fixture.h"

#include <QAbstractButton>
#include <QtTest>

#include "player/media_strip.h"

WindowFixture::WindowFixture() : previousFolder_(QDir::currentPath()) {}

WindowFixture::~WindowFixture() {
    window_.reset();
    QDir::setCurrent(previousFolder_);
    test_files::removeTree(folder());
}

void WindowFixture::open(std::unique_ptr<MediaComponent> media) {
    QDir::setCurrent(folder_.path());
    if (media == nullptr) {
        auto fake = std::make_unique<FakeMediaComponent>();
        media_ = fake.get();
        media = std::move(fake);
    }
    window_ = std::make_unique<Form1>(std::move(media));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void WindowFixture::openWithEngine() {
    engine_ = std::make_unique<player::PlaybackEngine>();
    open(std::make_unique<MediaStrip>(*engine_));
}

QString WindowFixture::text(const char* lineEditOrLabel) const {
    if (auto* box = control<QLineEdit>(lineEditOrLabel)) {
        return box->text();
    }
    return control<QLabel>(lineEditOrLabel)->text();
}

void WindowFixture::clickFile(const core::FilePath& name) const {
    const QModelIndexList found =
        files()->model()->match(files()->model()->index(0, 0), browser::FileList::kNameRole,
                                name.bytes(), -1, Qt::MatchExactly);
    QVERIFY2(found.size() == 1,
             qPrintable(QStringLiteral("no entry %1 in the file list").arg(name.exactSpelling())));
    files()->scrollTo(found.front());
    QTest::mouseClick(files()->viewport(), Qt::LeftButton, {},
                      files()->visualRect(found.front()).center());
}

void WindowFixture::click(const char* button) const {
    control<QAbstractButton>(button)->click();
}

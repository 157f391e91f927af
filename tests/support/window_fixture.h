#pragma once

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <utility>

#include "app/form1.h"
#include "browser/dir_list.h"
#include "browser/drive_list.h"
#include "browser/file_list.h"
#include "player/playback_engine.h"
#include "support/fake_media_component.h"
#include "support/temp_files.h"

// Names of files that a path taken apart, or a URL, could get wrong; each with a label.
inline const std::pair<const char*, QByteArray> kAwkwardFileNames[] = {
    {"Latin-1", "Caf\xE9.mp3"},    {"hash", "a#b.mp3"},          {"percent", "100%25.mp3"},
    {"question mark", "why?.mp3"}, {"space", "two words.mp3"},   {"backslash", "back\\slash.mp3"},
    {"newline", "new\nline.mp3"},  {"leading dash", "-lead.mp3"}};

// The player's window, started in a fresh temporary folder with a fake media strip, shown
// off screen so that clicks land where a user's would.
class WindowFixture {
public:
    WindowFixture();
    ~WindowFixture();

    core::FilePath folder() const { return test_files::pathOf(folder_.path()); }
    core::FilePath file(const QString& name) const { return file(test_files::pathOf(name)); }
    core::FilePath file(const core::FilePath& name) const {
        return test_files::inFolder(folder(), name);
    }

    // Starts the window, with a fake media strip unless given one; files made before this are
    // listed.
    void open(std::unique_ptr<MediaComponent> media = nullptr);
    // Starts the window with the real media strip, over a playback engine of its own.
    void openWithEngine();

    template <typename Control>
    Control* control(const char* name) const {
        return window_->findChild<Control*>(QLatin1String(name));
    }
    QString text(const char* lineEditOrLabel) const;

    browser::DriveList* drives() const { return control<browser::DriveList>("Drive1"); }
    browser::DirList* folders() const { return control<browser::DirList>("Dir1"); }
    browser::FileList* files() const { return control<browser::FileList>("File1"); }
    QComboBox* genres() const { return control<QComboBox>("Combo1"); }

    // A mouse click on the file list's entry for the file `name`.
    void clickFile(const QString& name) const { clickFile(test_files::pathOf(name)); }
    void clickFile(const core::FilePath& name) const;
    void click(const char* button) const;

    Form1& window() const { return *window_; }
    // The fake media strip; only when open() was given none.
    FakeMediaComponent& media() const { return *media_; }

private:
    QTemporaryDir folder_;
    QString previousFolder_;
    std::unique_ptr<player::PlaybackEngine> engine_;
    std::unique_ptr<Form1> window_;
    FakeMediaComponent* media_ = nullptr;
};

#include <gtest/gtest.h>

#include "browser/selected_file_path.h"
#include "support/temp_files.h"

namespace {

using core::FilePath;

TEST(SelectedFilePath, AddsOneSlashExceptAfterTheRoot) {
    struct Case {
        QByteArray folder, name, path;
    };
    const std::vector<Case> cases = {
        {"/", "a.mp3", "/a.mp3"},
        {"/music", "a.mp3", "/music/a.mp3"},
        {"/music/old", "b c.mp3", "/music/old/b c.mp3"},
        {"/music", "", "/music/"},
        {"/", "", "/"},
        {"/caf\xE9", "\xFF.mp3", "/caf\xE9/\xFF.mp3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(browser::SelectedFilePath(FilePath(c.folder), FilePath(c.name)),
                  FilePath(c.path));
    }
}

}  // namespace

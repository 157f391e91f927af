// Drives the real window. Each input becomes the one MP3 file in a folder of its own; the file
// list selects it and the tag boxes must show what its trailer holds, without the file changing.
// Some inputs also save the tag back, and the file may then change only where a trailer goes.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/form1.h"
#include "browser/dir_list.h"
#include "browser/file_list.h"
#include "core/code_page.h"
#include "expected_shown_text.h"
#include "fuzz_check.h"
#include "silent_media_component.h"
#include "tag/genre_table.h"
#include "tag/tag_record.h"

namespace {

using id3::TagField;
using id3::TagRecord;
using Bytes = std::vector<std::uint8_t>;

// Saving syncs the file to disk, which is slow next to the rest, so one input in this many
// saves; which ones follows from the bytes, so that a saved crash input saves again.
constexpr std::size_t kSaveOneIn = 8;

struct TagBox {
    TagField field;
    const char* name;
};
constexpr std::array kTagBoxes = {
    TagBox{TagField::Title, "txtTitle"}, TagBox{TagField::Artist, "txtArtist"},
    TagBox{TagField::Album, "txtAlbum"}, TagBox{TagField::Year, "txtYear"},
    TagBox{TagField::Comment, "txtComment"}};

template <typename Control>
Control* control(const QWidget& window, const char* name) {
    auto* found = window.findChild<Control*>(QLatin1String(name));
    FUZZ_CHECK(found != nullptr);
    return found;
}

void writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size());
    FUZZ_CHECK(std::fclose(file) == 0);
}

Bytes readFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    FUZZ_CHECK(file != nullptr);
    Bytes bytes;
    std::array<std::uint8_t, 4096> chunk{};
    while (const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file)) {
        bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    }
    FUZZ_CHECK(std::fclose(file) == 0);
    return bytes;
}

bool holdsAt(std::span<const std::uint8_t> file, std::size_t offset, std::string_view text) {
    return file.size() >= offset + text.size() &&
           std::equal(text.begin(), text.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
}

// The trailer the file holds, when its last 128 bytes begin with "TAG" and are not part of an
// APEv2 tag's header, whose "APETAGEX" then starts 131 bytes from the end.
std::optional<TagRecord> trailerOf(std::span<const std::uint8_t> file) {
    constexpr std::size_t kApeMarkFromEnd = 131;
    if (file.size() < TagRecord::kSize ||
        (file.size() >= kApeMarkFromEnd &&
         holdsAt(file, file.size() - kApeMarkFromEnd, "APETAGEX"))) {
        return std::nullopt;
    }
    TagRecord::Bytes last{};
    const auto tail = file.last(TagRecord::kSize);
    std::copy(tail.begin(), tail.end(), last.begin());
    const TagRecord record = TagRecord::decode(last);
    return record.hasTrailerMark() ? std::optional(record) : std::nullopt;
}

// Whether the file begins with the header of an ID3v2 tag of version 2.2, 2.3 or 2.4: a known
// revision and a size of four 7-bit bytes.
bool beginsWithId3v2Header(std::span<const std::uint8_t> file) {
    return holdsAt(file, 0, "ID3") && file.size() >= 10 && file[3] >= 2 && file[3] <= 4 &&
           file[4] != 0xFF &&
           std::all_of(file.begin() + 6, file.begin() + 10,
                       [](std::uint8_t byte) { return byte < 0x80; });
}

std::string shownFieldOf(const std::optional<TagRecord>& trailer, TagField field) {
    return trailer ? expectedShownText(trailer->text(field)) : std::string();
}

// The window, built once: building it takes far longer than running one input.
class WindowUnderTest {
public:
    WindowUnderTest()
        : window_(std::make_unique<SilentMediaComponent>()),
          filePath_(folder_.filePath(QStringLiteral("x.mp3")).toStdString()),
          fileList_(control<browser::FileList>(window_, "File1")),
          message_(control<QLabel>(window_, "lblMsg")),
          genreCode_(control<QLineEdit>(window_, "txtGenreCode")),
          genreList_(control<QComboBox>(window_, "Combo1")),
          saveButton_(control<QAbstractButton>(window_, "cmdWriteTag")) {
        FUZZ_CHECK(folder_.isValid());
        for (const TagBox& box : kTagBoxes) {
            tagBoxes_.push_back(control<QLineEdit>(window_, box.name));
        }
        // The file exists from the start, so that the file list shows it from the start.
        writeFile(filePath_, {});
        control<browser::DirList>(window_, "Dir1")
            ->setPath(core::FilePath(folder_.path().toUtf8()));
        FUZZ_CHECK(fileList_->count() == 1);
        QObject::connect(fileList_, &browser::FileList::fileClicked, [this] { ++clicks_; });

        // A message box during a save means the save failed; it would wait for a user forever,
        // so it is answered at once and the check after the save fails on it.
        dialogCloser_.setInterval(0);
        QObject::connect(&dialogCloser_, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                dialogSeen_ = true;
                dialog->done(QDialog::Rejected);
            }
        });
    }

    void run(std::span<const std::uint8_t> input) {
        writeFile(filePath_, input);
        clickFile();

        FUZZ_CHECK(readFile(filePath_) == Bytes(input.begin(), input.end()));
        const std::optional<TagRecord> trailer = trailerOf(input);
        checkShownTag(trailer, beginsWithId3v2Header(input));
        if (std::hash<std::string_view>{}(asText(input)) % kSaveOneIn == 0) {
            checkSave(input, trailer);
        }
        // A running program handles what the handlers posted before the next click comes;
        // left alone, those events would pile up from one input to the next.
        QCoreApplication::processEvents();
    }

private:
    static std::string_view asText(std::span<const std::uint8_t> bytes) {
        return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
    }

    // The list already selects the file from the last input; moving off it and back is one
    // new selection, the way a user picks the file again.
    void clickFile() {
        fileList_->setCurrentRow(-1);
        clicks_ = 0;
        fileList_->setCurrentRow(0);
        FUZZ_CHECK(clicks_ == 1);
    }

    void checkShownTag(const std::optional<TagRecord>& trailer, bool id3v2) {
        const QString message =
            trailer ? (id3v2 ? QStringLiteral("Also an ID3v2 tag") : QString())
                    : (id3v2 ? QStringLiteral("No tag (ID3v2 only)") : QStringLiteral("No tag"));
        FUZZ_CHECK(message_->text() == message);
        for (std::size_t i = 0; i < kTagBoxes.size(); ++i) {
            const std::string shown = shownFieldOf(trailer, kTagBoxes[i].field);
            FUZZ_CHECK(tagBoxes_[i]->text() == core::CodePage::system().decode(shown));
        }
        const int code = trailer ? trailer->genreCode() : -1;
        FUZZ_CHECK(genreCode_->text() == (trailer ? QString::number(code) : QString()));
        const int position = trailer ? id3::genrePositionFromCode(trailer->genreCode()) : -1;
        FUZZ_CHECK(genreList_->currentIndex() == position);
    }

    // The trailer a save must write: the mark, each field as shown padded with spaces, and the
    // genre code as it was, whether the genre list knows it or not. A track number (a zero and
    // a nonzero byte at the comment's end) stays too: a comment that ends in one shows at most
    // 28 characters, which leaves it room.
    static TagRecord::Bytes expectedSavedTrailer(const std::optional<TagRecord>& trailer) {
        std::string bytes = "TAG";
        for (const TagBox& box : kTagBoxes) {
            std::string field = shownFieldOf(trailer, box.field);
            field.resize(id3::layoutOf(box.field).width, ' ');
            bytes += field;
        }
        bytes += static_cast<char>(trailer ? trailer->genreCode() : 0);
        const std::size_t trackMark = id3::layoutOf(TagField::Comment).offset + 28;
        if (trailer && trailer->encode()[trackMark] == 0 && trailer->encode()[trackMark + 1] != 0) {
            bytes[trackMark] = '\0';
            bytes[trackMark + 1] = static_cast<char>(trailer->encode()[trackMark + 1]);
        }
        FUZZ_CHECK(bytes.size() == TagRecord::kSize);
        TagRecord::Bytes trailerBytes{};
        std::copy(bytes.begin(), bytes.end(), trailerBytes.begin());
        return trailerBytes;
    }

    void checkSave(std::span<const std::uint8_t> before, const std::optional<TagRecord>& trailer) {
        dialogSeen_ = false;
        dialogCloser_.start();
        saveButton_->click();
        dialogCloser_.stop();
        FUZZ_CHECK(!dialogSeen_);

        const Bytes after = readFile(filePath_);
        // Over the old trailer when there was one, else after the last byte: no audio byte is
        // ever overwritten.
        const std::size_t keptBytes = trailer ? before.size() - TagRecord::kSize : before.size();
        FUZZ_CHECK(after.size() == keptBytes + TagRecord::kSize);
        FUZZ_CHECK(std::equal(before.begin(),
                              before.begin() + static_cast<std::ptrdiff_t>(keptBytes),
                              after.begin()));
        const TagRecord::Bytes expected = expectedSavedTrailer(trailer);
        FUZZ_CHECK(std::equal(expected.begin(), expected.end(),
                              after.begin() + static_cast<std::ptrdiff_t>(keptBytes)));
    }

    QTemporaryDir folder_;
    Form1 window_;
    std::string filePath_;
    browser::FileList* fileList_;
    QLabel* message_;
    std::vector<QLineEdit*> tagBoxes_;
    QLineEdit* genreCode_;
    QComboBox* genreList_;
    QAbstractButton* saveButton_;
    QTimer dialogCloser_;
    bool dialogSeen_ = false;
    int clicks_ = 0;
};

WindowUnderTest* windowUnderTest = nullptr;

}  // namespace

// fontconfig keeps what it loads for the first text drawn until the process ends, which
// LeakSanitizer counts as a leak of the first input that draws text. Only that library's
// allocations are excused: a leak in the window's own code still fails the run.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt takes its own options out of the arguments it is given; libFuzzer's must stay, so Qt
    // gets a copy with only the program name.
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    // Both stay to the end of the process, reachable and never destroyed: the exit handlers
    // would end data of Qt's that the window set up after the application before the
    // application's own clean-up, which then reaches for it.
    [[maybe_unused]] static auto* const application = new QApplication(qtArgc, qtArgv);
    windowUnderTest = new WindowUnderTest;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    windowUnderTest->run({data, size});
    return 0;
}

// What the window costs: how soon it is first painted beside a bare window with as many child
// widgets, the CPU it takes while it sits idle with its timer ticking, and how long the file
// list takes to list a large folder beside a bare listing of the same folder.
// The start and idle runs happen in fresh child processes (this program run again).
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "app/control_places.h"
#include "app/form1.h"
#include "app/program.h"
#include "browser/file_list.h"
#include "child_process.h"
#include "measure.h"
#include "report.h"
#include "temp_folder.h"

namespace {

constexpr double kGoalSeconds = 20;
constexpr int kStartRepeats = 9;
constexpr int kBareChildWidgets = 28;
constexpr double kIdleSettleSeconds = 1;
constexpr int kListedFiles = 10'000;
constexpr int kListRepeats = 7;

const bench::Clock::time_point processEntered = bench::Clock::now();

// Notes when the first paint of one window has finished: its children are painted in the same
// pass right after it, so the pass is over once the event loop has control again.
class FirstPaintWatch : public QApplication {
public:
    using QApplication::QApplication;

    void watch(const QWidget* window) { window_ = window; }
    std::optional<bench::Clock::time_point> painted() const { return painted_; }

    bool notify(QObject* receiver, QEvent* event) override {
        const bool handled = QApplication::notify(receiver, event);
        if (!paintSeen_ && receiver == window_ && event->type() == QEvent::Paint) {
            paintSeen_ = true;
            QMetaObject::invokeMethod(
                this,
                [this] {
                    painted_ = bench::Clock::now();
                    quit();
                },
                Qt::QueuedConnection);
        }
        return handled;
    }

private:
    const QWidget* window_ = nullptr;
    bool paintSeen_ = false;
    std::optional<bench::Clock::time_point> painted_;
};

// A window of the player's size holding 28 plain child widgets of the kinds the player's window
// holds, with no pictures, fonts, colours, folder listing or media framework.
std::unique_ptr<QWidget> bareWindow() {
    auto window = std::make_unique<QWidget>();
    window->setFixedSize(control_places::kWindow);
    std::vector<QWidget*> children;
    for (int i = 0; i < 3; ++i) {
        children.push_back(new QFrame(window.get()));
    }
    for (int i = 0; i < 11; ++i) {
        children.push_back(new QLabel(QStringLiteral("Label"), window.get()));
    }
    for (int i = 0; i < 6; ++i) {
        children.push_back(new QLineEdit(window.get()));
    }
    for (int i = 0; i < 3; ++i) {
        children.push_back(new QPushButton(window.get()));
    }
    for (int i = 0; i < 2; ++i) {
        children.push_back(new QListWidget(window.get()));
        children.push_back(new QComboBox(window.get()));
    }
    children.push_back(new QWidget(window.get()));
    bench::require(static_cast<int>(children.size()) == kBareChildWidgets,
                   "the bare window is off");
    constexpr int kColumns = 4;
    const int width = window->width() / kColumns;
    const int height = window->height() / (kBareChildWidgets / kColumns);
    for (int i = 0; i < kBareChildWidgets; ++i) {
        children[static_cast<std::size_t>(i)]->setGeometry((i % kColumns) * width,
                                                           (i / kColumns) * height, width, height);
    }
    return window;
}

// Child side: starts the player as its entry point does ("form1") or shows the bare window
// ("bare") and prints, on the steady clock, when main() began, when QApplication stood and when
// the first paint was done.
int showAndReport(int argc, char* argv[]) {
    const std::string kind = argv[2];
    FirstPaintWatch app(argc, argv);
    const bench::Clock::time_point applicationReady = bench::Clock::now();
    std::unique_ptr<Program> program;
    std::unique_ptr<QWidget> bare;
    QWidget* window = nullptr;
    if (kind == "form1") {
        program = std::make_unique<Program>();
        window = &program->window();
    } else {
        bare = bareWindow();
        window = bare.get();
    }
    app.watch(window);
    if (program != nullptr) {
        program->show();
    } else {
        window->show();
    }
    QTimer::singleShot(10'000, &app, &QCoreApplication::quit);
    QApplication::exec();
    bench::require(app.painted().has_value(), "the window was never painted");
    const auto directChildren = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly).size();
    std::printf("%lld %lld %lld %lld\n",
                static_cast<long long>(bench::steadyNanoseconds(processEntered)),
                static_cast<long long>(bench::steadyNanoseconds(applicationReady)),
                static_cast<long long>(bench::steadyNanoseconds(*app.painted())),
                static_cast<long long>(directChildren));
    return 0;
}

// Child side: shows the player's window, lets it settle, then prints the CPU seconds it takes
// while it sits for `seconds` with nothing happening but its own timers.
int idleAndReport(int argc, char* argv[]) {
    const double seconds = std::strtod(argv[2], nullptr);
    QApplication app(argc, argv);
    Program program;
    program.show();
    QTimer::singleShot(static_cast<int>(kIdleSettleSeconds * 1000), &app, &QCoreApplication::quit);
    QApplication::exec();
    const double cpuBefore = bench::ownCpuSeconds();
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, &QCoreApplication::quit);
    QApplication::exec();
    std::printf("%.6f\n", bench::ownCpuSeconds() - cpuBefore);
    return 0;
}

struct StartFigures {
    std::vector<double> fromSpawn;        // milliseconds
    std::vector<double> fromApplication;  // milliseconds
    long long childWidgets = 0;
};

void startOnce(const std::string& kind, const std::filesystem::path& folder,
               StartFigures& figures) {
    const bench::ChildRun run =
        bench::runChild({bench::ownExecutable(), "--first-paint", kind},
                        {.interruptAfterSeconds = {}, .workingFolder = folder.string()});
    bench::require(bench::endedAsExpected(run, {}), "the " + kind + " start run failed");
    long long entered = 0;
    long long applicationReady = 0;
    long long painted = 0;
    std::istringstream(run.output) >> entered >> applicationReady >> painted >>
        figures.childWidgets;
    bench::require(painted > applicationReady && applicationReady >= entered,
                   "the " + kind + " start run printed no times");
    figures.fromSpawn.push_back(
        static_cast<double>(painted - bench::steadyNanoseconds(run.started)) / 1e6);
    figures.fromApplication.push_back(static_cast<double>(painted - applicationReady) / 1e6);
}

double idleCpuPercent(double seconds, const std::filesystem::path& folder) {
    const bench::ChildRun run =
        bench::runChild({bench::ownExecutable(), "--idle", std::to_string(seconds)},
                        {.interruptAfterSeconds = {}, .workingFolder = folder.string()});
    bench::require(bench::endedAsExpected(run, {}), "the idle run failed");
    double cpu = -1;
    std::istringstream(run.output) >> cpu;
    bench::require(cpu >= 0, "the idle run printed no CPU time");
    return cpu / seconds * 100;
}

// Half the files end in .mp3 in assorted case, half in .txt; numbered names, so that sorting as
// a person reads them ("2" before "10") has work to do.
void makeListedFolder(const std::filesystem::path& folder) {
    static const char* const kAudioEndings[] = {".mp3", ".MP3", ".Mp3"};
    for (int i = 0; i < kListedFiles; ++i) {
        const std::string name = i % 2 == 0
                                     ? "Track " + std::to_string(i / 2) + kAudioEndings[(i / 2) % 3]
                                     : "Notes " + std::to_string(i / 2) + ".txt";
        const int fd = ::open((folder / name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        bench::require(fd >= 0, "cannot make " + name);
        ::close(fd);
    }
}

double fileListMilliseconds(const QString& folder) {
    browser::FileList list;
    list.setGeometry(control_places::kFile1);
    list.show();
    QCoreApplication::processEvents();
    const auto start = bench::Clock::now();
    list.setPath(core::FilePath(folder.toUtf8()));
    const double milliseconds = bench::secondsBetween(start, bench::Clock::now()) * 1000;
    bench::require(list.count() == kListedFiles / 2, "the file list does not hold the .mp3 files");
    return milliseconds;
}

bool endsWithMp3(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string ending = name.substr(name.size() - 4);
    std::transform(ending.begin(), ending.end(), ending.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ending == ".mp3";
}

double bareListingMilliseconds(const std::filesystem::path& folder) {
    const auto start = bench::Clock::now();
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && !name.starts_with('.') && endsWithMp3(name)) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    const double milliseconds = bench::secondsBetween(start, bench::Clock::now()) * 1000;
    bench::require(names.size() == kListedFiles / 2, "the bare listing missed .mp3 files");
    return milliseconds;
}

std::string verdictForListing(double milliseconds, double ratio) {
    const std::string againstTime = bench::verdictAtMost(milliseconds, 100);
    const std::string againstBare = bench::verdictAtMost(ratio, 1.5);
    if (againstTime == "met" && againstBare == "met") {
        return "met";
    }
    return "100 ms: " + againstTime + "; 1.5x: " + againstBare;
}

int compareAndReport(int argc, char* argv[]) {
    const double seconds = bench::sustainedRunSeconds(kGoalSeconds);
    const bench::TempFolder startFolder("mp3player-bench-window");

    std::cerr << "Starting the player's window and a bare one, " << kStartRepeats
              << " times each\n";
    StartFigures player;
    StartFigures bare;
    for (int i = 0; i < kStartRepeats; ++i) {
        startOnce("form1", startFolder.path(), player);
        startOnce("bare", startFolder.path(), bare);
    }

    std::cerr << "Letting the window sit idle for " << seconds << " s\n";
    const double idlePercent = idleCpuPercent(seconds, startFolder.path());

    std::cerr << "Listing a folder of " << kListedFiles << " files, " << kListRepeats
              << " times each\n";
    const bench::TempFolder listedFolder("mp3player-bench-listing");
    makeListedFolder(listedFolder.path());
    QApplication app(argc, argv);
    const QString listed = QString::fromStdString(listedFolder.path().string());
    std::vector<double> fileList;
    std::vector<double> bareListing;
    for (int i = 0; i < kListRepeats; ++i) {
        fileList.push_back(fileListMilliseconds(listed));
        bareListing.push_back(bareListingMilliseconds(listedFolder.path()));
    }

    const auto startRow = [&](const std::string& figure, const std::vector<double>& own,
                              const std::vector<double>& baseline) {
        const double ratio = bench::median(own) / bench::median(baseline);
        return bench::ResultRow{
            .figure = figure,
            .measured = bench::withUnit(bench::median(own), 1, "ms"),
            .baseline = bench::withUnit(bench::median(baseline), 1, "ms") + " bare QWidget, " +
                        std::to_string(bare.childWidgets) + " children",
            .ratio = bench::ratioText(bench::median(own), bench::median(baseline)),
            .goal = "within 1.3x of bare window",
            .verdict = bench::verdictAtMost(ratio, 1.3)};
    };
    const double listRatio = bench::median(fileList) / bench::median(bareListing);
    bench::printTable({
        startRow("First paint from spawn, median of " + std::to_string(kStartRepeats) + " (" +
                     std::to_string(player.childWidgets) + " children)",
                 player.fromSpawn, bare.fromSpawn),
        startRow("First paint from QApplication, median of " + std::to_string(kStartRepeats),
                 player.fromApplication, bare.fromApplication),
        {.figure =
             "Idle window CPU over " + bench::withUnit(seconds, 0, "s") + ", 60 ms timer ticking",
         .measured = bench::withUnit(idlePercent, 3, "% of a core"),
         .goal = "under 0.5% of a core",
         .verdict = bench::verdictAtMost(idlePercent, 0.5)},
        {.figure = "FileList::setPath, 10,000 files (5,000 .mp3), median of " +
                   std::to_string(kListRepeats),
         .measured = bench::withUnit(bench::median(fileList), 1, "ms"),
         .baseline = bench::withUnit(bench::median(bareListing), 1, "ms") +
                     " directory_iterator, filter, sort",
         .ratio = bench::ratioText(bench::median(fileList), bench::median(bareListing)),
         .goal = "under 100 ms and within 1.5x",
         .verdict = verdictForListing(bench::median(fileList), listRatio)},
    });
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    return bench::runBenchmark("bench_window", [&] {
        if (argc == 3 && std::string(argv[1]) == "--first-paint") {
            return showAndReport(argc, argv);
        }
        if (argc == 3 && std::string(argv[1]) == "--idle") {
            return idleAndReport(argc, argv);
        }
        return compareAndReport(argc, argv);
    });
}

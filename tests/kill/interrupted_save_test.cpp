// Kills a process that saves over and over at random moments, a few hundred times, and looks at
// what each kill left behind after the next click: every tag wholly one of those saved (or, for
// an append, none yet) and every other byte as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "kill/turns.h"
#include "support/temp_files.h"
#include "tag/trailer_file.h"

namespace {

using test_files::audioBytes;
using test_files::readAll;
using test_files::writeAll;

QByteArray trailerOfTurn(long turn) {
    const tag::TagRecord::Bytes bytes = kill_test::trailerOfTurn(turn).record.encode();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

// The saving loop, started with `arguments` and killed when this goes away.
class SavingLoop {
public:
    explicit SavingLoop(const QStringList& arguments) {
        int output[2];
        if (::pipe2(output, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        std::vector<std::string> strings{SAVE_LOOP_PROGRAM};
        for (const QString& argument : arguments) {
            strings.push_back(argument.toStdString());
        }
        std::vector<char*> argv;
        for (std::string& s : strings) {
            argv.push_back(s.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(output[1]);
        output_ = output[0];
    }
    SavingLoop(const SavingLoop&) = delete;
    SavingLoop& operator=(const SavingLoop&) = delete;
    ~SavingLoop() {
        kill();
        ::close(output_);
    }

    // Blocks until the loop is about to save for the first time; false when it never will.
    bool started() const {
        char line[16];
        return pid_ > 0 && ::read(output_, line, sizeof line) > 0;
    }

    void kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

enum class Saving { ReplacingTheTrailer, AppendingTheTrailer };

struct KillCase {
    const char* what;
    Saving saving;
};

TEST(InterruptedSave, LeavesEveryTagWholeAfterTheNextClick) {
    constexpr int kKills = 200;
    const std::vector<KillCase> cases = {
        {"replacing the trailer", Saving::ReplacingTheTrailer},
        {"appending the trailer", Saving::AppendingTheTrailer},
    };
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);
    // Where the kill falls after the loop starts: its first few hundred saves.
    std::uniform_int_distribution<int> killAfterMicroseconds(0, 1500);
    // How far into the trailer a 4 KiB page ends.
    std::uniform_int_distribution<int> pageEndInTrailer(1, 127);

    for (const KillCase& c : cases) {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("song.mp3"));
        int torn = 0;
        int finished = 0;
        for (int kill = 0; kill < kKills; ++kill) {
            const QByteArray audio = audioBytes(4096 - pageEndInTrailer(random));
            std::vector<QByteArray> whole = {audio + trailerOfTurn(0), audio + trailerOfTurn(1)};
            QStringList arguments = {path};
            if (c.saving == Saving::ReplacingTheTrailer) {
                writeAll(path, whole[0]);
                arguments << QStringLiteral("replace");
            } else {
                writeAll(path, audio);
                whole.push_back(audio);
                arguments << QStringLiteral("append") << QString::number(audio.size());
            }
            {
                SavingLoop loop(arguments);
                ASSERT_TRUE(loop.started()) << c.what;
                std::this_thread::sleep_for(
                    std::chrono::microseconds(killAfterMicroseconds(random)));
            }

            const tag::TrailerRead click = tag::readTrailer(path.toStdString());
            finished += click.recovery.outcome == tag::JournalRecovery::Outcome::Finished;
            const QByteArray left = readAll(path);
            if (std::find(whole.begin(), whole.end(), left) == whole.end() && ++torn <= 3) {
                ADD_FAILURE() << c.what << ": kill " << kill << " left " << left.size()
                              << " bytes, ending in " << left.right(140).toHex().toStdString();
            }
            EXPECT_EQ(click.outcome, left.size() == audio.size()
                                         ? tag::TrailerRead::Outcome::NoTrailer
                                         : tag::TrailerRead::Outcome::Trailer)
                << c.what;
        }
        EXPECT_EQ(torn, 0) << c.what << ": torn by " << torn << " of " << kKills << " kills";
        // Else no kill fell inside a write, and the run proved nothing.
        EXPECT_GT(finished, 0) << c.what;
        std::printf("%s: %d of %d kills cut a save short, and the click finished it\n", c.what,
                    finished, kKills);
    }
}

}  // namespace

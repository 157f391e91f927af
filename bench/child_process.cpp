#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace bench {

namespace {

void check(int error, const char* what) {
    if (error != 0) {
        throw std::runtime_error(std::string(what) + ": " + std::strerror(error));
    }
}

}  // namespace

ChildRun runChild(const std::vector<std::string>& arguments, const ChildOptions& options) {
    int outputPipe[2];
    if (::pipe2(outputPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outputPipe[1], STDOUT_FILENO);
    if (!options.workingFolder.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, options.workingFolder.c_str());
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    ChildRun run;
    run.started = Clock::now();
    pid_t pid = 0;
    const int spawnError = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(outputPipe[1]);
    if (spawnError != 0) {
        ::close(outputPipe[0]);
        check(spawnError, arguments.front().c_str());
    }

    const bool interruptWanted = options.interruptAfterSeconds.has_value();
    const Clock::time_point interruptAt =
        run.started + std::chrono::duration_cast<Clock::duration>(
                          std::chrono::duration<double>(options.interruptAfterSeconds.value_or(0)));
    bool interrupted = false;
    char buffer[4096];
    for (;;) {
        int timeoutMs = -1;
        if (interruptWanted && !interrupted) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(interruptAt - Clock::now());
            timeoutMs = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        }
        pollfd readable{outputPipe[0], POLLIN, 0};
        const int ready = ::poll(&readable, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            ::kill(pid, SIGINT);
            interrupted = true;
            continue;
        }
        const ssize_t count = ::read(outputPipe[0], buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        run.output.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(outputPipe[0]);
    while (::wait4(pid, &run.waitStatus, 0, &run.usage) < 0 && errno == EINTR) {
    }
    run.wallSeconds = secondsBetween(run.started, Clock::now());
    return run;
}

bool endedAsExpected(const ChildRun& run, const ChildOptions& options) {
    if (WIFEXITED(run.waitStatus) && WEXITSTATUS(run.waitStatus) == 0) {
        return true;
    }
    return options.interruptAfterSeconds && WIFSIGNALED(run.waitStatus) &&
           WTERMSIG(run.waitStatus) == SIGINT;
}

std::string ownExecutable() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

}  // namespace bench

#pragma once

#include <sys/resource.h>

#include <optional>
#include <string>
#include <vector>

#include "measure.h"

namespace bench {

struct ChildRun {
    Clock::time_point started;  // just before the child was spawned
    double wallSeconds = 0;     // from `started` until the child was gone
    struct rusage usage {};     // the child's own CPU and memory, as wait4() reports them
    int waitStatus = 0;
    std::string output;  // everything the child wrote to its standard output
};

struct ChildOptions {
    // Interrupts the child (SIGINT, as Ctrl+C would) this long after it started.
    std::optional<double> interruptAfterSeconds;
    // Runs the child there instead of in this process's current folder.
    std::string workingFolder;
};

// Runs `arguments` (the first one looked up in PATH), with standard input empty and standard
// output captured, and waits until it has ended. Throws when it cannot be started.
ChildRun runChild(const std::vector<std::string>& arguments, const ChildOptions& options = {});

// Whether the child ended by itself with status 0, or by the interrupt it was meant to get.
bool endedAsExpected(const ChildRun& run, const ChildOptions& options);

// The path of this program's own executable, for running it again as a child.
std::string ownExecutable();

}  // namespace bench

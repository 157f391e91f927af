#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

// Seconds between two points of the steady clock, which all processes of the machine share.
double secondsBetween(Clock::time_point start, Clock::time_point end);

// Nanoseconds on the steady clock, for handing a moment from one process to another.
std::int64_t steadyNanoseconds(Clock::time_point moment = Clock::now());

// User plus system time of this process, all its threads included.
double ownCpuSeconds();

// User plus system time recorded in a usage report, such as one wait4() fills in for a child.
double cpuSeconds(const struct rusage& usage);

double median(std::vector<double> values);
double maximum(const std::vector<double>& values);

// How long the sustained runs (playing, sitting idle) last: MP3PLAYER_BENCH_SECONDS when set,
// else `fallback`. A quick pass sets it low; the goals are stated for the fallback.
double sustainedRunSeconds(double fallback);

// The most memory this process has held resident so far (VmHWM), in mebibytes.
double peakResidentMebibytes();

// Stops the measurement with `what` when `ok` is false.
void require(bool ok, const std::string& what);

// Runs a benchmark program's body headless and silent unless told otherwise (there may be
// neither a display nor a sound card); a failed measurement prints why and exits with 1.
int runBenchmark(const char* name, const std::function<int()>& body);

}  // namespace bench

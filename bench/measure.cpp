#include "measure.h"
#include <iostream>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace bench {

double secondsBetween(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

std::int64_t steadyNanoseconds(Clock::time_point moment) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(moment.time_since_epoch()).count();
}

double cpuSeconds(const struct rusage& usage) {
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ownCpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return cpuSeconds(usage);
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2 == 1) {
        return *middle;
    }
    const double upper = *middle;
    const double lower = *std::max_element(values.begin(), middle);
    return (lower + upper) / 2;
}

double maximum(const std::vector<double>& values) {
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double sustainedRunSeconds(double fallback) {
    const char* setting = std::getenv("MP3PLAYER_BENCH_SECONDS");
    if (setting == nullptr || *setting == '\0') {
        return fallback;
    }
    char* end = nullptr;
    const double seconds = std::strtod(setting, &end);
    if (*end != '\0' || seconds <= 0) {
        throw std::invalid_argument("MP3PLAYER_BENCH_SECONDS must be a positive number of seconds");
    }
    return seconds;
}

double peakResidentMebibytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:")) {
            std::istringstream fields(line.substr(6));
            double kibibytes = 0;
            fields >> kibibytes;
            return kibibytes / 1024;
        }
    }
    return 0;
}

void require(bool ok, const std::string& what) {
    if (!ok) {
        throw std::runtime_error(what);
    }
}

int runBenchmark(const char* name, const std::function<int()>& body) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("MP3PLAYER_AUDIO_SINK", "fakesink sync=true", 0);
    try {
        return body();
    } catch (const std::exception& error) {
        std::cerr << name << ": " << error.what() << "\n";
        return 1;
    }
}

}  // namespace bench

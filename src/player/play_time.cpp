#include "player/play_time.h"

#include <cmath>
#include <cstdio>

namespace player {

namespace {

// Longer than any recording, yet far inside what a 64-bit count of seconds holds.
constexpr double kLongestTime = 1e15;

}  // namespace

MinutesSeconds splitPlayTime(double seconds) {
    if (!(seconds > 0)) {
        return {};
    }
    // Round-half-to-even is the default floating-point rounding mode that nearbyint follows.
    const auto whole = static_cast<std::int64_t>(std::nearbyint(std::fmin(seconds, kLongestTime)));
    return {whole / 60, whole % 60};
}

std::string formatPlayTime(MinutesSeconds time) {
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(time.minutes),
                  static_cast<long long>(time.seconds));
    return text;
}

std::string totalTimeText(double length) {
    return "Total Time: " + formatPlayTime(splitPlayTime(length));
}

std::string elapsedTimeText(double position) {
    // A position of nothing, or before the start, shows the same "00:00" as the split gives.
    return elapsedTimeText(splitPlayTime(position));
}

std::string elapsedTimeText(MinutesSeconds elapsed) {
    return "Elapsed Time: " + formatPlayTime(elapsed);
}

std::string spokenPosition(double position, double length) {
    const auto spoken = [](double seconds) {
        const MinutesSeconds time = splitPlayTime(seconds);
        char text[48];
        std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(time.minutes),
                      static_cast<long long>(time.seconds));
        return std::string(text);
    };
    return spoken(position) + " of " + spoken(length);
}

}  // namespace player

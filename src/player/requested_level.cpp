#include "player/requested_level.h"

#include <algorithm>
#include <cmath>

namespace player {

std::optional<double> requestedFraction(double value, double maximum) {
    if (!std::isfinite(value) || !(maximum > 0)) {
        return std::nullopt;
    }
    return std::clamp(value / maximum, 0.0, 1.0);
}

}  // namespace player

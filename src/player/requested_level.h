#pragma once

#include <optional>

namespace player {

// Where a client asks a slider or a level to go, as a fraction of its range from 0 to 1: a
// value of 0 to `maximum`, taken into that range. Nothing for a value that is not a finite
// number, which a screen reader or a media panel can send and which names no place at all:
// such a request is ignored, whoever makes it.
std::optional<double> requestedFraction(double value, double maximum);

}  // namespace player

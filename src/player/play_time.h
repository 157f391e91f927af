#pragma once

#include <cstdint>
#include <string>

namespace player {

struct MinutesSeconds {
    std::int64_t minutes = 0;
    std::int64_t seconds = 0;

    friend bool operator==(const MinutesSeconds&, const MinutesSeconds&) = default;
};

// Splits a time into whole minutes and the remaining seconds, after rounding it to the nearest
// whole second with halves going to the even neighbour (58.5 s gives 0:58, 59.5 s gives 1:00).
// A negative or not-a-number time counts as 0; minutes beyond 16 bits are kept whole.
MinutesSeconds splitPlayTime(double seconds);

// "mm:ss", each part at least two digits ("00:45", "100:00").
std::string formatPlayTime(MinutesSeconds time);

// The total-time label's text for a length in seconds: "Total Time: 03:25".
std::string totalTimeText(double length);

// The elapsed-time label's text for a position in seconds: "Elapsed Time: 01:07".
std::string elapsedTimeText(double position);
std::string elapsedTimeText(MinutesSeconds elapsed);

// A position within a length as a screen reader says it: "1:23 of 4:05", each rounded as the
// labels round it and its minutes without a leading zero.
std::string spokenPosition(double position, double length);

}  // namespace player

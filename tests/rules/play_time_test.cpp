#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "player/play_time.h"

namespace {

struct TimeCase {
    double seconds;
    std::int64_t minutes;
    std::int64_t remaining;
    const char* total;
    const char* elapsed;
};

void PrintTo(const TimeCase& c, std::ostream* out) {
    *out << c.seconds << " s";
}

class PlayTime : public testing::TestWithParam<TimeCase> {};

TEST_P(PlayTime, SplitsRoundingHalvesToEvenAndShowsTwoDigits) {
    const TimeCase& c = GetParam();
    const player::MinutesSeconds split = player::splitPlayTime(c.seconds);
    EXPECT_EQ(split.minutes, c.minutes);
    EXPECT_EQ(split.seconds, c.remaining);
    EXPECT_EQ(player::totalTimeText(c.seconds), c.total);
    EXPECT_EQ(player::elapsedTimeText(c.seconds), c.elapsed);
}

INSTANTIATE_TEST_SUITE_P(
    Times, PlayTime,
    testing::Values(TimeCase{205.4, 3, 25, "Total Time: 03:25", "Elapsed Time: 03:25"},
                    TimeCase{58.5, 0, 58, "Total Time: 00:58", "Elapsed Time: 00:58"},
                    TimeCase{59.5, 1, 0, "Total Time: 01:00", "Elapsed Time: 01:00"},
                    TimeCase{119.5, 2, 0, "Total Time: 02:00", "Elapsed Time: 02:00"},
                    TimeCase{6000, 100, 0, "Total Time: 100:00", "Elapsed Time: 100:00"},
                    TimeCase{0.5, 0, 0, "Total Time: 00:00", "Elapsed Time: 00:00"},
                    TimeCase{0.49, 0, 0, "Total Time: 00:00", "Elapsed Time: 00:00"},
                    TimeCase{1.5, 0, 2, "Total Time: 00:02", "Elapsed Time: 00:02"},
                    TimeCase{67, 1, 7, "Total Time: 01:07", "Elapsed Time: 01:07"},
                    TimeCase{45, 0, 45, "Total Time: 00:45", "Elapsed Time: 00:45"},
                    TimeCase{-3, 0, 0, "Total Time: 00:00", "Elapsed Time: 00:00"},
                    TimeCase{std::numeric_limits<double>::quiet_NaN(), 0, 0, "Total Time: 00:00",
                             "Elapsed Time: 00:00"},
                    // 40,000 minutes do not fit 16 bits; they show whole instead of wrapping round.
                    TimeCase{2400000, 40000, 0, "Total Time: 40000:00", "Elapsed Time: 40000:00"}));

TEST(PlayTime, SaysAPositionAndLengthForAScreenReader) {
    const struct {
        double position;
        double length;
        const char* spoken;
    } cases[] = {{83, 245, "1:23 of 4:05"},
                 {0.4, 4.076, "0:00 of 0:04"},
                 {59.5, 6000, "1:00 of 100:00"},
                 {-3, std::numeric_limits<double>::quiet_NaN(), "0:00 of 0:00"}};
    for (const auto& c : cases) {
        EXPECT_EQ(player::spokenPosition(c.position, c.length), c.spoken) << c.position;
    }
}

TEST(PlayTimeLimits, AnEndlessLengthStillGivesAWholeNumber) {
    const player::MinutesSeconds split =
        player::splitPlayTime(std::numeric_limits<double>::infinity());
    EXPECT_GT(split.minutes, 0);
    EXPECT_GE(split.seconds, 0);
    EXPECT_LT(split.seconds, 60);
}

}  // namespace

// timestamp_test.cpp - round end times: the number made from the calendar
// texts, its order across a year end, and the texts shown again.
#include "platform/platform.h"
#include "scores/scores.h"
#include "support/fixture.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

void startAt(const std::string& moment) {
    PlatformConfig config;
    config.startTime = moment;
    StartDoubles(config);
}

int64_t seconds(int64_t year, int64_t month, int64_t day, int64_t h, int64_t m, int64_t s) {
    return year * 32140800 + month * 2678400 + day * 86400 + h * 3600 + m * 60 + s;
}

} // namespace

TEST(Timestamp, DateTextWithTheCurrentTime) {
    startAt("2026-12-07 18:05:09");
    EXPECT_EQ(MakeTimestamp(""), seconds(2026, 12, 7, 18, 5, 9));
    EXPECT_EQ(MakeTimestamp("15 mar 1999"), seconds(1999, 3, 15, 18, 5, 9));
    EXPECT_EQ(MakeTimestamp("07 Foo 2026"), seconds(2026, 0, 7, 18, 5, 9)); // unknown month
    SleepMillis(61000);
    EXPECT_EQ(MakeTimestamp("15 Mar 1999"), seconds(1999, 3, 15, 18, 6, 10));
}

TEST(Timestamp, YearEndOrderAndTextsWithLeadingZeros) {
    startAt("2026-12-31 23:59:59");
    const int64_t before = MakeTimestamp("");
    SleepMillis(1000);
    const int64_t after = MakeTimestamp("");
    EXPECT_LT(before, after);
    EXPECT_EQ(TimestampDate(before) + ", " + TimestampTime(before), "2026-12-31, 23:59:59");
    EXPECT_EQ(TimestampDate(after) + ", " + TimestampTime(after), "2027-01-01, 00:00:00");
    EXPECT_EQ(TimestampDate(seconds(7, 3, 4, 9, 5, 3)), "0007-03-04");
    EXPECT_EQ(TimestampTime(seconds(7, 3, 4, 9, 5, 3)), "09:05:03");

    // Every month's first and last day comes back as it was taken.
    const char* const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int m = 1; m <= 12; ++m) {
        for (int d : {1, 31}) {
            char text[16], want[16];
            std::snprintf(text, sizeof text, "%02d %s 2026", d, months[m - 1]);
            std::snprintf(want, sizeof want, "2026-%02d-%02d", m, d);
            EXPECT_EQ(TimestampDate(MakeTimestamp(text)), want) << text;
        }
    }
}

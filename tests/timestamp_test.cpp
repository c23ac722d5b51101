// timestamp_test.cpp - round end times: the number made from the calendar
// texts, its order across month and year ends, and the texts shown again.
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

int64_t expected(int64_t year, int64_t month, int64_t day, int64_t h, int64_t m, int64_t s) {
    return year * 32140800 + month * 2678400 + day * 86400 + h * 3600 + m * 60 + s;
}

const char* const MonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

TEST(Timestamp, CombinesTheDateTextWithTheCurrentTime) {
    startAt("2026-12-07 18:05:09");
    EXPECT_EQ(MakeTimestamp("07 Dec 2026"), expected(2026, 12, 7, 18, 5, 9));
    // Today's date when no text is given, and the month in any letter case.
    EXPECT_EQ(MakeTimestamp(""), expected(2026, 12, 7, 18, 5, 9));
    EXPECT_EQ(MakeTimestamp("07 dec 2026"), expected(2026, 12, 7, 18, 5, 9));
    // The time is always the current one, whatever date is asked for.
    EXPECT_EQ(MakeTimestamp("15 Mar 1999"), expected(1999, 3, 15, 18, 5, 9));
    SleepMillis(61000);
    EXPECT_EQ(MakeTimestamp("15 Mar 1999"), expected(1999, 3, 15, 18, 6, 10));
}

TEST(Timestamp, UnknownMonthCountsAsZero) {
    startAt("2026-12-07 18:05:09");
    EXPECT_EQ(MakeTimestamp("07 Foo 2026"), expected(2026, 0, 7, 18, 5, 9));
    EXPECT_EQ(MakeTimestamp("07 Dec 2026") - MakeTimestamp("07 Xyz 2026"), 12 * 2678400);
}

TEST(Timestamp, YearEndOrdersAndShowsCorrectly) {
    startAt("2026-12-31 23:59:59");
    const int64_t before = MakeTimestamp("");
    EXPECT_EQ(TimestampDate(before), "2026-12-31");
    EXPECT_EQ(TimestampTime(before), "23:59:59");
    SleepMillis(1000);
    const int64_t after = MakeTimestamp("");
    EXPECT_EQ(TimestampDate(after), "2027-01-01");
    EXPECT_EQ(TimestampTime(after), "00:00:00");
    EXPECT_LT(before, after);
}

TEST(Timestamp, SmallNumbersGetLeadingZeros) {
    startAt("2026-03-04 09:05:03");
    const int64_t t = MakeTimestamp("");
    EXPECT_EQ(TimestampDate(t), "2026-03-04");
    EXPECT_EQ(TimestampTime(t), "09:05:03");
    EXPECT_EQ(TimestampDate(expected(7, 1, 2, 0, 0, 0)), "0007-01-02");
}

TEST(Timestamp, EveryDateComesBackAsItWasTaken) {
    startAt("2026-12-07 00:00:00");
    for (int m = 1; m <= 12; ++m) {
        for (int d : {1, 2, 15, 30, 31}) {
            char text[16], want[16];
            std::snprintf(text, sizeof text, "%02d %s 2026", d, MonthNames[m - 1]);
            std::snprintf(want, sizeof want, "2026-%02d-%02d", m, d);
            const int64_t t = MakeTimestamp(text);
            EXPECT_EQ(TimestampDate(t), want) << text;
            EXPECT_EQ(TimestampTime(t), "00:00:00") << text;
        }
    }
    // Later moments are larger, across month ends too.
    EXPECT_LT(MakeTimestamp("31 Jan 2026"), MakeTimestamp("01 Feb 2026"));
    EXPECT_LT(MakeTimestamp("31 Dec 2025"), MakeTimestamp("01 Jan 2026"));
}

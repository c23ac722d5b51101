// platform_clock_test.cpp - the virtual clock, the calendar, ending the
// process, random numbers and the memory figures.
#include "platform/internal.h"
#include "platform_helpers.h"

#include <gtest/gtest.h>

#include <set>

namespace {

void startAt(const std::string& moment, int64_t seed = 1) {
    PlatformConfig config;
    config.silentAudio = true;
    config.virtualClock = true;
    config.startTime = moment;
    config.seed = seed;
    ASSERT_TRUE(StartPlatform(config)) << PlatformError();
}

} // namespace

TEST(VirtualClock, MovesOnlyBySleepingAndDrawing) {
    startAt("2026-12-07 18:05:09");
    EXPECT_TRUE(ClockIsVirtual());
    EXPECT_EQ(Millis(), 0);
    SleepMillis(16);
    SleepMillis(0);
    SleepMillis(-5);
    EXPECT_EQ(Millis(), 16);
    ChargeDrawCost(); // no cost set: free
    EXPECT_EQ(Millis(), 16);
    SetVirtualDrawCost(300);
    for (int i = 0; i < 10; i++) ChargeDrawCost(); // 3000 us
    EXPECT_EQ(Millis(), 19);
    ChargeDrawCost(); // 3300 us: the part below a millisecond is kept
    ChargeDrawCost();
    ChargeDrawCost();
    ChargeDrawCost(); // 4200 us
    EXPECT_EQ(Millis(), 20);
    for (int i = 0; i < 10000; i++) SleepMillis(16);
    EXPECT_EQ(Millis(), 160020);
    PlatformShutdown();
}

TEST(Calendar, StartMomentAdvancesAcrossDayMonthAndYear) {
    startAt("2026-12-31 23:59:58");
    EXPECT_EQ(CurrentDateText(), "31 Dec 2026");
    EXPECT_EQ(CurrentTimeText(), "23:59:58");
    SleepMillis(1999);
    EXPECT_EQ(CurrentTimeText(), "23:59:59");
    SleepMillis(1);
    EXPECT_EQ(CurrentDateText(), "01 Jan 2027");
    EXPECT_EQ(CurrentTimeText(), "00:00:00");

    startAt("2027-02-28 23:59:59");
    SleepMillis(1000);
    EXPECT_EQ(CurrentDateText(), "01 Mar 2027");
    startAt("2028-02-28 23:59:59"); // leap year
    SleepMillis(1000);
    EXPECT_EQ(CurrentDateText(), "29 Feb 2028");
    PlatformShutdown();
}

TEST(Calendar, EnglishMonthNamesWhateverTheLocale) {
    const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    setlocale(LC_ALL, "fr_FR.UTF-8"); // may not exist; the names must not care
    for (int m = 1; m <= 12; m++) {
        char moment[32];
        std::snprintf(moment, sizeof moment, "2026-%02d-05 00:00:00", m);
        startAt(moment);
        EXPECT_EQ(CurrentDateText(), std::string("05 ") + names[m - 1] + " 2026");
    }
    setlocale(LC_ALL, "C");
    PlatformShutdown();
}

TEST(Random, SameSeedSameSequenceDifferentSeedDifferent) {
    auto draw = [] {
        std::vector<int> v;
        for (int i = 0; i < 50; i++) v.push_back(RandomInt(0, 1000000));
        v.push_back(int(RandomReal(0, 1) * 1e6f));
        return v;
    };
    SeedRandom(5120);
    std::vector<int> a = draw();
    SeedRandom(5120);
    EXPECT_EQ(draw(), a);
    SeedRandom(5121);
    EXPECT_NE(draw(), a);
    startAt("2026-12-07 18:05:09", 5120); // the configured seed is the same seeding
    EXPECT_EQ(draw(), a);
    PlatformShutdown();
}

TEST(Random, IntegersCoverBothEndsEvenly) {
    SeedRandom(1);
    int counts[7] = {};
    for (int i = 0; i < 6000; i++) {
        int v = RandomInt(1, 6);
        ASSERT_GE(v, 1);
        ASSERT_LE(v, 6);
        counts[v]++;
    }
    for (int v = 1; v <= 6; v++) {
        EXPECT_GT(counts[v], 800) << v;
        EXPECT_LT(counts[v], 1200) << v;
    }
    std::set<int> seen;
    for (int i = 0; i < 200; i++) seen.insert(RandomInt(3, -1)); // swapped bounds
    EXPECT_EQ(seen, (std::set<int>{-1, 0, 1, 2, 3}));
    for (int i = 0; i < 20; i++) EXPECT_EQ(RandomInt(4, 4), 4);
}

TEST(Random, RealsStayInTheHalfOpenRange) {
    SeedRandom(2);
    float low = 1, high = 0;
    for (int i = 0; i < 20000; i++) {
        float r = RandomReal(0, 1);
        ASSERT_GE(r, 0.0f);
        ASSERT_LT(r, 1.0f);
        low = std::min(low, r);
        high = std::max(high, r);
    }
    EXPECT_LT(low, 0.001f);
    EXPECT_GT(high, 0.999f);
    EXPECT_EQ(RandomReal(2, 2), 2.0f);
}

TEST(Memory, InUseFollowsAllocationsAndPassesCount) {
    int64_t before = MemoryInUse();
    EXPECT_GT(before, 0);
    {
        std::vector<char> block(32 << 20, 1);
        EXPECT_GE(MemoryInUse(), before + (32 << 20));
        EXPECT_EQ(block[12345], 1);
    }
    EXPECT_LT(MemoryInUse(), before + (32 << 20));
    int first = CollectMemory();
    EXPECT_EQ(CollectMemory(), first + 1);
}

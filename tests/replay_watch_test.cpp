// replay_watch_test.cpp - watching a replay in the window, on the virtual
// clock with scripted keys: normal speed takes the round's own time, the
// arrow keys change the speed, Space pauses, Escape leaves early, and the
// generator and logical size are given back afterwards.
#include "game/game.h"
#include "game/replay.h"
#include "game/replay_view.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>

namespace {

constexpr int Frames = 240; // four seconds of play, ended through "Quit"

// A round where nobody touches anything, left through "Quit" at its end.
Replay idleReplay() {
    Replay r;
    r.gameVersion = GameVersion;
    r.width = 1600;
    r.height = 900;
    r.random = 4242;
    r.frames.resize(Frames);
    for (ReplayFrame& f : r.frames) f.input.mouseX = f.input.mouseY = 300;
    r.frames.back().quit = true;
    return r;
}

struct Watched {
    int millis = 0; // virtual time the watching took
    int over = 0;   // how the round stood when it ended
};

// Watches the idle replay with the scripted keys (times from the start).
Watched watch(const std::string& keys) {
    const std::string dir = MakeTempDir("watch");
    WriteWholeFile(dir + "keys.script", keys);
    PlatformConfig config;
    config.scriptPath = dir + "keys.script";
    StartDoubles(config);
    EXPECT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
    SetRoundSize(1280, 960);
    SeedRandom(5);
    const uint64_t before = RandomStateNow();
    Watched w;
    const int start = Millis();
    EXPECT_FALSE(WatchReplay(idleReplay()));
    w.millis = Millis() - start;
    w.over = game.Over;
    EXPECT_EQ(RandomStateNow(), before) << "the title's generator is given back";
    EXPECT_EQ(display.VirtualWidth, 1280);
    EXPECT_EQ(display.VirtualHeight, 960);
    return w;
}

} // namespace

TEST(ReplayWatch, NormalSpeedTakesTheRoundsOwnTimeAndHoldsGameOver) {
    Watched w = watch("");
    EXPECT_EQ(w.over, 99);
    EXPECT_NEAR(w.millis, Frames * 1000 / 60 + 1500, 40);
}

TEST(ReplayWatch, ArrowKeysChangeTheSpeedBetweenAQuarterAndEightTimes) {
    // Up three times at 0.1 s: 8 frames of play a picture from then on.
    Watched fast = watch("100 press 38\n100 press 38\n100 press 38\n");
    EXPECT_EQ(fast.over, 99);
    EXPECT_NEAR(fast.millis, 100 + (Frames - 6) / 8 * 1000 / 60 + 1500, 40);
    // Right five times cannot pass 8 either.
    Watched capped = watch("100 press 39\n100 press 39\n100 press 39\n100 press 39\n"
                           "100 press 39\n");
    EXPECT_NEAR(capped.millis, fast.millis, 20);
    // Left twice: each frame shown four times as long; a third press stays at 1/4.
    Watched slow = watch("100 press 37\n100 press 37\n100 press 40\n");
    EXPECT_NEAR(slow.millis, 100 + (Frames - 6) * 4000 / 60 + 1500, 80);
}

TEST(ReplayWatch, SpacePausesAndEscapeLeavesEarly) {
    Watched paused = watch("2000 press 32\n5000 press 32\n");
    EXPECT_EQ(paused.over, 99);
    EXPECT_NEAR(paused.millis, Frames * 1000 / 60 + 1500 + 3000, 60);

    Watched left = watch("2500 press 27\n");
    EXPECT_EQ(left.over, 0) << "left before the round's end";
    EXPECT_NEAR(left.millis, 2500, 40);
}

// replay_watch_test.cpp - watching a replay in the window, on the virtual
// clock with scripted keys: normal speed takes the round's own time, the
// arrow keys change the speed, Space pauses, Escape leaves early, and the
// generator and logical size are given back afterwards.
#include "game/game.h"
#include "game/replay.h"
#include "game/replay_view.h"
#include "platform/platform.h"
#include "platform/recording.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
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

// A frame's length on the virtual clock: the frame driver's pace.
constexpr int FrameMillis = 15;

// Watches the idle replay with the scripted keys (times from the start); a
// slow system presents every other frame. closes: the window is asked to
// close meanwhile.
Watched watch(const std::string& keys, bool slow = false, bool closes = false) {
    const std::string dir = MakeTempDir("watch");
    WriteWholeFile(dir + "keys.script", keys);
    PlatformConfig config;
    config.scriptPath = dir + "keys.script";
    StartDoubles(config);
    EXPECT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
    display.GameSheet =
        LoadImageSheet(BuiltFilesDir() + "251/gfx.png", 16, 16, 64, ImageMasked | ImageFiltered);
    shell.Settings[slot::SlowSystem] = slow ? 1 : 0;
    SetRoundSize(1280, 960);
    SeedRandom(5);
    const uint64_t before = RandomStateNow();
    Watched w;
    const int start = Millis();
    EXPECT_EQ(WatchReplay(idleReplay()), closes);
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
    EXPECT_NEAR(w.millis, Frames * FrameMillis + 1500, 40);
}

TEST(ReplayWatch, ArrowKeysChangeTheSpeedBetweenAQuarterAndEightTimes) {
    // Up three times at 0.1 s (seen by the eighth frame): 8 frames of play a
    // picture from then on.
    Watched fast = watch("100 press 38\n100 press 38\n100 press 38\n");
    EXPECT_EQ(fast.over, 99);
    EXPECT_NEAR(fast.millis, 100 + (Frames - 7) / 8 * FrameMillis + 1500, 40);
    // Right five times cannot pass 8 either.
    Watched capped = watch("100 press 39\n100 press 39\n100 press 39\n100 press 39\n"
                           "100 press 39\n");
    EXPECT_NEAR(capped.millis, fast.millis, 20);
    // Left twice: each frame shown four times as long; a third press stays at 1/4.
    Watched slow = watch("100 press 37\n100 press 37\n100 press 40\n");
    EXPECT_NEAR(slow.millis, 100 + (Frames - 7) * 4 * FrameMillis + 1500, 80);
}

TEST(ReplayWatch, SpacePausesAndEscapeLeavesEarly) {
    Watched paused = watch("2000 press 32\n5000 press 32\n");
    EXPECT_EQ(paused.over, 99);
    EXPECT_NEAR(paused.millis, Frames * FrameMillis + 1500 + 3000, 60);

    Watched left = watch("2500 press 27\n");
    EXPECT_EQ(left.over, 0) << "left before the round's end";
    EXPECT_NEAR(left.millis, 2500, 40);
}

// The picture kept while paused was taken at the window's 800 x 600, where
// the replay's 1600 x 900 is shown at half size: it is drawn back twice as
// large about the centre, so the paused picture is the one that was shown.
TEST(ReplayWatch, APausedPictureIsDrawnAtTheDisplaysScale) {
    watch("1000 press 32\n1500 press 32\n");
    int standing = 0;
    for (const DrawRecord& d : RecordedDraws())
        standing += d.kind == DrawKind::Image && d.image != display.GameSheet &&
                    d.image != display.IconSheet && d.sx == 2 && d.sy == 2 && d.x == 800 &&
                    d.y == 450;
    EXPECT_GT(standing, 20);
}

// Every frame ends through the frame driver: on a slow system every other
// frame is presented and each presented picture has the field's sprites; F12
// works there, and the window's close request ends the watching (the caller
// runs the closing screen) instead of the closing screen running inside it.
TEST(ReplayWatch, FramesEndThroughTheFrameDriverWithItsHotKeys) {
    Watched w = watch("500 press 123\n2000 close\n", true, true);
    EXPECT_NEAR(w.millis, 2000, 40);
    EXPECT_EQ(frame.ShowStats, 0);
    int pictures = 0, withSprites = 0, sprites = 0;
    for (const DrawRecord& d : RecordedDraws()) {
        sprites += d.kind == DrawKind::Image && d.image == display.GameSheet;
        if (d.kind == DrawKind::Flip) {
            ++pictures;
            withSprites += sprites > 0;
            sprites = 0;
        }
    }
    EXPECT_NEAR(pictures, 2000 / FrameMillis / 2, 2);
    EXPECT_EQ(withSprites, pictures);
}

namespace {

constexpr int PanelW = 1280, PanelB = 960 - 10, PanelL = PanelW - 10 - 320;

// One frame of the score panel on the doubles, pointer at (x, y); the left
// button is held when held is set.
std::vector<DrawRecord> panelFrame(int x, int y) {
    frame.FrameMouseX = x;
    frame.FrameMouseY = y;
    ClearRecordedDraws();
    ScorePanel(320, 0, 0, 0);
    return RecordedDraws();
}

// Starts the doubles with the left button held from 0 to 100 ms, and one
// round in the table selected by its row.
void panelWithOneRound(const std::string& replayName) {
    const std::string dir = MakeTempDir("watch-panel");
    WriteWholeFile(dir + "script.txt", "0 down mouse1\n100 up mouse1\n");
    PlatformConfig config;
    config.scriptPath = dir + "script.txt";
    StartDoubles(config);
    ASSERT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
    SetLogicalSize(PanelW, 960);
    ASSERT_TRUE(ChangeDir(dir));
    PumpInput();
    // The panel's fonts, so the line has a size to be hit.
    for (int slot : {1, 3, 4})
        display.FontSet[slot] = LoadFont(BuiltFilesDir() + "Common/SVBasicManual.ttf", 16);
    ASSERT_NE(display.FontSet[3], 0);
    Scores s;
    s.Score = 77;
    s.Name = "Ann";
    s.Timestamp = 65150071535;
    s.Replay = replayName;
    scores.ScoreTable.push_back(s);
    scores.SelectedIndex = 1001; // row 1, kept selected
}

} // namespace

TEST(ReplayWatchLine, OnlyARecordWithAReplayShowsOneMoreLineAndNothingElseMoves) {
    panelWithOneRound("");
    SleepMillis(200); // the button is up
    const std::vector<DrawRecord> without = panelFrame(0, 0);
    scores.ScoreTable.front().Replay = "65150071535-00000000.zpr";
    const std::vector<DrawRecord> with = panelFrame(0, 0);
    // The same draws with one more text: "Watch replay", right- and bottom-
    // aligned with the date line's baseline in the box's lower right corner.
    std::vector<DrawRecord> rest;
    const DrawRecord* line = nullptr;
    for (const DrawRecord& d : with) {
        if (d.kind == DrawKind::Text && d.text == "Watch replay")
            line = &d;
        else
            rest.push_back(d);
    }
    ASSERT_NE(line, nullptr);
    ASSERT_EQ(rest.size(), without.size());
    for (size_t i = 0; i < rest.size(); ++i) {
        EXPECT_EQ(rest[i].kind, without[i].kind) << i;
        EXPECT_EQ(rest[i].x, without[i].x) << i;
        EXPECT_EQ(rest[i].y, without[i].y) << i;
        EXPECT_EQ(rest[i].text, without[i].text) << i;
    }
    SetFont(display.FontSet[3]);
    EXPECT_GT(MeasureText("Watch replay"), 40);
    EXPECT_EQ(line->x + MeasureText("Watch replay"), PanelL + 324);
    EXPECT_LE(line->y + TextLineHeight(), PanelB - 430);
    EXPECT_GT(line->y, PanelB - 566) << "inside the detail box";
    EXPECT_EQ(line->sx, 1);
}

TEST(ReplayWatchLine, ClickingItAsksForTheReplayAndABadOneGivesANotice) {
    panelWithOneRound("65150071535-00000000.zpr");
    const int x = PanelL + 324 - 10, y = PanelB - 430 - 5; // on the line
    panelFrame(x, y);                                      // the button is held
    EXPECT_EQ(scores.WatchRequest, "65150071535-00000000.zpr");
    MakeDir(ReplayFolder);
    WriteWholeFile(std::string(ReplayFolder) + "/65150071535-00000000.zpr", "not a replay");
    frame.Notices.clear();
    WatchRequestedReplay();
    EXPECT_EQ(scores.WatchRequest, "");
    ASSERT_EQ(frame.Notices.size(), 1u);
    EXPECT_EQ(frame.Notices.front().txt, "This replay cannot be played (see Debug.txt)");
    // The button is still held: the bad replay is not asked for again.
    panelFrame(x, y);
    EXPECT_EQ(scores.WatchRequest, "");

    // Away from the line, a click asks for nothing.
    scores.WatchRequest.clear();
    panelFrame(PanelL + 20, PanelB - 540);
    EXPECT_EQ(scores.WatchRequest, "");
}

// round_test.cpp - the round's frame loop on the recording back-end: waves,
// gun posts and firing, bullet hits, contact damage and the end of a round.
#include "draw/draw.h"
#include "game/game.h"
#include "platform/recording.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A blank 64-cell sheet of 16 x 16 cells standing in for "gfx.png".
int makeGameSheet() {
    Pixmap pixmap;
    pixmap.width = 128;
    pixmap.height = 128;
    pixmap.pixels.assign(128 * 128, 0xFFFFFFFFu);
    std::string path = MakeTempDir("sheet") + "gfx.png";
    if (!SavePixmapPng(pixmap, path, 9)) return 0;
    SetCentreAnchoring(true);
    return LoadImageSheet(path, 16, 16, 64, ImageMasked | ImageFiltered);
}

// Starts the doubles (with an input script when given) and a round in the mode.
void startRound(int mode, const std::string& script = "", int64_t seed = 1) {
    PlatformConfig config;
    config.seed = seed;
    if (!script.empty()) {
        config.scriptPath = MakeTempDir("script") + "input.txt";
        std::ofstream(config.scriptPath) << script;
    }
    StartDoubles(config);
    display.GameSheet = makeGameSheet();
    shell.GameMode = mode;
    frame.LastFrameEnd = Millis();
    frame.PauseState = 1;
    BeginRound();
}

// Removes the spawned enemies and puts off the waves, for a quiet field.
void quietField() {
    game.Enemies.clear();
    game.Interval = 1000000;
}

// An enemy standing still at (x, y).
Enemy& addStillEnemy(float x, float y) {
    Enemy e;
    e.x = x;
    e.y = y;
    e.aimx = x;
    e.aimy = y;
    e.health = 99;
    e.spd = 0;
    game.Enemies.push_back(e);
    return game.Enemies.back();
}

// An open gun post at (x, y) with its full life.
GunPost& addOpenPost(float x, float y) {
    GunPost p;
    p.x = x;
    p.y = y;
    p.tick = 594;
    game.GunPosts.push_front(p);
    return game.GunPosts.front();
}

PlayerFigure& figure() {
    return game.Players.front();
}

// Runs the two frames it takes a scripted pointer at 0 ms to reach
// FrameMouseX/Y (taken in by the first frame's pacing, sampled by the second).
void settlePointer() {
    RoundFrame();
    RoundFrame();
    ASSERT_NE(frame.FrameMouseX, 0);
}

} // namespace

TEST(Walking, MovesSpdUnitsStraightTowardThePoint) {
    float x = 100, y = 100;
    WalkToward(x, y, 200, 100, 3);
    EXPECT_NEAR(x, 103, 1e-4);
    EXPECT_NEAR(y, 100, 1e-4);
    WalkToward(x, y, 103, 500, 2); // straight down
    EXPECT_NEAR(x, 103, 1e-4);
    EXPECT_NEAR(y, 102, 1e-4);
    x = 0, y = 0;
    WalkToward(x, y, -30, -40, 5); // up and left, a 3-4-5 triangle
    EXPECT_NEAR(x, -3, 1e-4);
    EXPECT_NEAR(y, -4, 1e-4);
    x = 50, y = 50;
    WalkToward(x, y, 50, 50, 1.5f); // on the point: one step up
    EXPECT_NEAR(x, 50, 1e-4);
    EXPECT_NEAR(y, 48.5f, 1e-4);
}

TEST(RoundSetUp, FigureAtTheCentreThreeEnemiesAndFreshPacing) {
    startRound(1);
    game.RoundScore = 17;
    shell.RoundBest[30] = 1;
    BeginRound();
    ASSERT_EQ(game.Players.size(), 1u);
    EXPECT_EQ(figure().x, display.VirtualWidth / 2);
    EXPECT_EQ(figure().y, display.VirtualHeight / 2);
    EXPECT_EQ(figure().health, 99);
    EXPECT_EQ(figure().spd, 3.0f);
    EXPECT_EQ(game.Enemies.size(), 3u);
    EXPECT_TRUE(game.GunPosts.empty() && game.Bullets.empty() && game.Splats.empty());
    EXPECT_EQ(game.RoundScore, 0);
    EXPECT_EQ(shell.RoundBest[30], 0);
    EXPECT_EQ(game.Interval, 210);
    EXPECT_EQ(game.Over, 0);
}

TEST(Waves, FirstWaveComesOnFrame240OnEasyAnd180OnHard) {
    struct Case {
        int mode, frame, largest;
    };
    for (Case c : {Case{0, 240, 3}, Case{2, 180, 5}}) {
        startRound(c.mode);
        for (int f = 1; f < c.frame; f++) {
            ASSERT_EQ(RoundFrame(), 0);
            ASSERT_EQ(game.Enemies.size(), 3u) << "mode " << c.mode << " frame " << f;
        }
        ASSERT_EQ(RoundFrame(), 0);
        int k = static_cast<int>(game.Enemies.size()) - 3;
        EXPECT_GE(k, 1);
        EXPECT_LE(k, c.largest);
        EXPECT_EQ(game.WaveTimer, 0);
        EXPECT_EQ(game.Interval, c.frame - 2);
        EXPECT_EQ(game.Extra, 0.05f);
    }
}

TEST(Waves, FirstWaveSizesCoverOneToTheModesBound) {
    for (int mode = 0; mode <= 2; mode++) {
        int smallest = 100, largest = 0;
        startRound(mode);
        for (int seed = 1; seed <= 300; seed++) {
            SeedRandom(seed);
            BeginRound();
            game.WaveTimer = game.Interval - 1;
            RoundUpdate();
            int k = static_cast<int>(game.Enemies.size()) - 3;
            smallest = std::min(smallest, k);
            largest = std::max(largest, k);
        }
        EXPECT_EQ(smallest, 1) << "mode " << mode;
        EXPECT_EQ(largest, mode + 3) << "mode " << mode;
    }
}

TEST(Waves, The32BitExtraReachesFourAtWave21AndFiveOnlyAtWave42) {
    float extra = 0;
    int firstFour = 0, firstFive = 0;
    for (int wave = 1; wave <= 60; wave++) {
        int bound = WaveSizeBound(0, extra);
        if (bound == 4 && firstFour == 0) firstFour = wave;
        if (bound == 5 && firstFive == 0) firstFive = wave;
        extra = GrowExtra(extra);
    }
    EXPECT_EQ(firstFour, 21);
    EXPECT_EQ(firstFive, 42);
    EXPECT_EQ(WaveSizeBound(2, 0), 5);
    EXPECT_EQ(WaveSizeBound(1, 0.99f), 4);
}

TEST(Waves, IntervalShrinksByTwoToAFloorOf30AndExtraGrowsAsA32BitReal) {
    startRound(0);
    float extra = 0;
    for (int wave = 1; wave <= 110; wave++) {
        game.WaveTimer = game.Interval - 1;
        RoundUpdate();
        extra = GrowExtra(extra);
        ASSERT_EQ(game.WaveTimer, 0);
        ASSERT_EQ(game.Extra, extra) << "wave " << wave;
        int expected = wave < 105 ? 240 - 2 * wave : 30;
        ASSERT_EQ(game.Interval, expected) << "wave " << wave;
    }
}

TEST(GunPosts, OpenCountDownCloseAndGoAway) {
    startRound(0);
    quietField();
    game.PostTimer = -100000; // no new posts from the timer
    addOpenPost(300, 300);
    GunPost& post = game.GunPosts.front();
    post.inny = -7;
    std::vector<int> cells;
    for (int f = 1; f <= 700 && !game.GunPosts.empty(); f++) {
        ClearRecordedDraws();
        RoundUpdate();
        for (const DrawRecord& d : RecordedDraws())
            if (d.kind == DrawKind::Image && d.image == display.GameSheet && d.x == 300 &&
                d.y == 300)
                cells.push_back(d.frame);
    }
    EXPECT_TRUE(game.GunPosts.empty());
    ASSERT_EQ(cells.size(), 599u);
    // Opening: cells 23 down to 16 over the first eight frames.
    for (int i = 0; i < 8; i++) EXPECT_EQ(cells[i], 23 - i);
    for (size_t i = 8; i < 593; i++) ASSERT_EQ(cells[i], 16) << i;
    // Closing: 18 to 23, then gone.
    for (int i = 0; i < 6; i++) EXPECT_EQ(cells[593 + i], 18 + i);
}

TEST(GunPosts, NewPostEvery140Frames) {
    startRound(0);
    quietField();
    for (int f = 1; f <= 139; f++) RoundUpdate();
    EXPECT_TRUE(game.GunPosts.empty());
    RoundUpdate();
    EXPECT_EQ(game.GunPosts.size(), 1u);
    EXPECT_EQ(game.PostTimer, 0);
    for (int f = 1; f <= 140; f++) RoundUpdate();
    EXPECT_EQ(game.GunPosts.size(), 2u);
}

TEST(Firing, StandingOnAPostWithTheRightButtonFires30BulletsASecond) {
    startRound(0, "0 mouse 640 100\n0 down mouse2\n");
    quietField();
    settlePointer();
    addOpenPost(figure().x, figure().y);
    for (int f = 0; f < 60; f++) RoundFrame();
    ASSERT_EQ(game.Bullets.size(), 30u);
    for (const Bullet& b : game.Bullets) {
        EXPECT_NEAR(b.gx, 0, 1e-4);
        EXPECT_NEAR(b.gy, -6, 1e-4);
        EXPECT_NEAR(b.x, 640, 1e-3);
    }
    // Bullets are inserted at the front: the newest has flown least.
    EXPECT_GT(game.Bullets.front().y, game.Bullets.back().y);
}

TEST(Firing, NothingWithoutTheRightButtonOrAwayFromThePost) {
    startRound(0, "0 mouse 640 100\n");
    quietField();
    addOpenPost(figure().x, figure().y);
    for (int f = 0; f < 20; f++) RoundFrame();
    EXPECT_TRUE(game.Bullets.empty());

    startRound(0, "0 mouse 640 100\n0 down mouse2\n");
    quietField();
    addOpenPost(figure().x + 8, figure().y); // just out of reach
    for (int f = 0; f < 20; f++) RoundFrame();
    EXPECT_TRUE(game.Bullets.empty());
}

TEST(Firing, PassingOverAPostFiresOnlyWhileNearItsCentre) {
    startRound(0, "0 mouse 640 100\n0 down mouse2\n");
    quietField();
    addOpenPost(700, 480);
    figure().aimx = 900; // walk right across the post at 3 units a frame
    figure().aimy = 480;
    for (int f = 0; f < 40; f++) RoundFrame();
    // Within 8 units is a 15-unit stretch: five frames, and every other one fires.
    EXPECT_GE(game.Bullets.size(), 2u);
    EXPECT_LE(game.Bullets.size(), 3u);
    EXPECT_GT(figure().x, 750);
}

TEST(Walking, FigureFollowsTheHeldLeftButtonAndStopsOnArrival) {
    startRound(0, "0 mouse 700 480\n0 down mouse1\n");
    quietField();
    settlePointer();
    float before = figure().x;
    RoundFrame();
    EXPECT_NEAR(figure().x - before, 3, 1e-3);
    EXPECT_GT(figure().show, 0);
    for (int f = 0; f < 30; f++) RoundFrame();
    EXPECT_EQ(figure().x, 700);
    EXPECT_EQ(figure().y, 480);
    EXPECT_EQ(figure().aimx, 0);
    EXPECT_EQ(figure().aimy, 0);
}

TEST(Walking, AClickOnAPostSendsTheFigureToItsExactCentre) {
    // Left button held for a moment over the post, 20 and 10 units off its centre.
    startRound(0, "0 mouse 720 490\n0 down mouse1\n40 up mouse1\n");
    quietField();
    addOpenPost(700, 480);
    for (int f = 0; f < 60; f++) RoundFrame();
    EXPECT_EQ(figure().x, 700);
    EXPECT_EQ(figure().y, 480);
}

TEST(Bullets, CrossingAnEnemyScoresOncePerFrameOfOverlap) {
    startRound(0);
    quietField();
    Enemy& enemy = addStillEnemy(640, 200);
    Bullet b;
    b.x = 537;
    b.y = 200;
    b.gx = 6;
    game.Bullets.push_back(b);
    int expected = 0;
    for (float x = 537 + 6; x < 760; x += 6)
        if (std::fabs(640 - x) < 20) expected++;
    for (int f = 0; f < 37; f++) RoundUpdate();
    EXPECT_EQ(expected, 7);
    EXPECT_EQ(game.RoundScore, expected);
    EXPECT_LE(enemy.health, 99 - expected);
    EXPECT_GE(enemy.health, 99 - 2 * expected);
    EXPECT_EQ(game.Splats.size(), static_cast<size_t>(expected));
    for (const Splat& s : game.Splats) {
        EXPECT_LT(s.alp, 1.0f); // green, already fading
        EXPECT_GE(s.g, 100);
        EXPECT_LE(s.g, 255);
    }
    ASSERT_EQ(game.Bullets.size(), 1u); // the bullet flies on
    EXPECT_GT(game.Bullets.front().x, 700);
}

TEST(Bullets, OneBulletHitsEveryOverlappingEnemyInTheSameFrame) {
    startRound(0);
    quietField();
    addStillEnemy(640, 200);
    addStillEnemy(645, 205);
    Bullet b;
    b.x = 634;
    b.y = 200;
    b.gx = 6;
    game.Bullets.push_back(b);
    RoundUpdate();
    EXPECT_EQ(game.RoundScore, 2);
    // The fresh splat drifts along the bullet's path at four times its speed.
    EXPECT_GT(game.Splats.front().gx, 23);
}

TEST(Bullets, LeaveTheListOnceOutsideTheMargin) {
    startRound(0);
    quietField();
    Bullet b;
    b.x = static_cast<float>(display.VirtualWidth + 30);
    b.y = 100;
    b.gx = 1;
    game.Bullets.push_back(b);
    RoundUpdate(); // at +31: still in
    EXPECT_EQ(game.Bullets.size(), 1u);
    RoundUpdate(); // at +32: not beyond yet
    EXPECT_EQ(game.Bullets.size(), 1u);
    RoundUpdate(); // at +33: out
    EXPECT_TRUE(game.Bullets.empty());
}

TEST(Enemies, KilledEnemyIsDrawnOnceMoreThenRemoved) {
    startRound(0);
    quietField();
    Enemy& enemy = addStillEnemy(640, 200);
    enemy.health = 1;
    Bullet b;
    b.x = 634;
    b.y = 200;
    b.gx = 6;
    game.Bullets.push_back(b);
    RoundUpdate(); // the bullet hits after the enemies have moved
    ASSERT_EQ(game.Enemies.size(), 1u);
    EXPECT_LE(game.Enemies.front().health, 0);
    RoundUpdate();
    EXPECT_TRUE(game.Enemies.empty());
}

TEST(Contact, CostsHealthEveryFrameFlashesRedAndLeavesBlood) {
    startRound(0);
    quietField();
    addStillEnemy(figure().x + 10, figure().y + 20);
    RoundFrame();
    EXPECT_GE(figure().health, 97);
    EXPECT_LE(figure().health, 98);
    EXPECT_EQ(game.Flash, 8);
    ASSERT_EQ(game.Splats.size(), 1u);
    EXPECT_EQ(game.Splats.front().alp, 1.5f);
    EXPECT_EQ(game.Splats.front().x, figure().x);
    EXPECT_EQ(game.Splats.front().y, figure().y);

    // The next frame starts with the whole field tinted dark red.
    ClearRecordedDraws();
    int healthBefore = figure().health;
    RoundUpdate();
    EXPECT_EQ(game.Flash, 8); // hit again, so the flash starts over
    EXPECT_LT(figure().health, healthBefore);
    const DrawRecord* rect = nullptr;
    for (const DrawRecord& d : RecordedDraws())
        if (d.kind == DrawKind::Rect && !rect) rect = &d;
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->r, 70);
    EXPECT_EQ(rect->g, 0);
    EXPECT_EQ(rect->b, 0);
    EXPECT_EQ(rect->w, display.VirtualWidth);
    EXPECT_EQ(rect->h, display.VirtualHeight);
    // Red blood stays: the older splat keeps its 1.5.
    EXPECT_EQ(game.Splats.back().alp, 1.5f);
}

TEST(Contact, FlashFadesOverEightFramesAfterTheLastHit) {
    startRound(0);
    quietField();
    game.Flash = 8;
    std::vector<int> reds;
    for (int f = 0; f < 10; f++) {
        ClearRecordedDraws();
        RoundUpdate();
        for (const DrawRecord& d : RecordedDraws())
            if (d.kind == DrawKind::Rect && d.w == display.VirtualWidth) reds.push_back(d.r);
    }
    EXPECT_EQ(reds, (std::vector<int>{70, 60, 50, 40, 30, 20, 10, 0}));
}

TEST(Contact, AFigureCaughtByEnemiesDiesWellUnderTwoSeconds) {
    startRound(0);
    quietField();
    addStillEnemy(figure().x - 5, figure().y);
    addStillEnemy(figure().x + 5, figure().y);
    int frames = 0;
    while (RoundFrame() == 0 && frames < 1000) frames++;
    EXPECT_EQ(game.Over, 1);
    EXPECT_LE(figure().health, 0);
    EXPECT_LT(frames, 60);
    EXPECT_GE(frames, 24); // at most 4 health a frame
}

TEST(GameOver, PictureIsPresentedTwiceOnlyOnceOver) {
    startRound(0);
    quietField();
    auto flips = [] {
        int n = 0;
        for (const DrawRecord& d : RecordedDraws()) n += d.kind == DrawKind::Flip;
        return n;
    };
    ClearRecordedDraws();
    RoundConclude(0, 0, 0);
    EXPECT_EQ(flips(), 0);
    EXPECT_EQ(game.Over, 0);
    RoundConclude(99, 0, 0);
    EXPECT_EQ(game.Over, 99);
    EXPECT_EQ(flips(), 2);
}

// Sprites drawn between the last Clear and the first Flip of the recording:
// what the first presented picture of the game-over sequence shows.
int spritesInFirstPicture() {
    int sprites = 0;
    for (const DrawRecord& d : RecordedDraws()) {
        if (d.kind == DrawKind::Flip) break;
        if (d.kind == DrawKind::Clear) sprites = 0;
        sprites += d.kind == DrawKind::Image;
    }
    return sprites;
}

// On a slow system a round can end on a frame that is not presented, whose
// sprites were skipped: the field is drawn again, unmoved, behind "Game Over",
// with the frame's red flash and the pointer. A round ending on a presented
// frame keeps that frame as it is.
TEST(GameOver, TheFieldIsBehindTheTextAlsoWhenTheLastFrameWasSkipped) {
    for (int parity : {1, 0}) {
        SCOPED_TRACE(parity);
        startRound(0, "0 mouse 500 400\n");
        display.IconSheet = makeGameSheet();
        quietField();
        shell.Settings[slot::SlowSystem] = 1;
        Enemy& e = addStillEnemy(300, 300);
        addOpenPost(900, 700);
        figure().health = 0; // the round ends in this frame
        game.Flash = 3;      // and is drawn with a flash of red 20
        frame.FrameParity = parity;
        PumpInput();
        ClearRecordedDraws();
        EXPECT_EQ(RoundFrame(), 1);
        // The figure, the enemy, the post and the pointer are in the first
        // picture shown, over the flash.
        EXPECT_EQ(spritesInFirstPicture(), 4);
        int flashes = 0, pointers = 0;
        for (const DrawRecord& d : RecordedDraws()) {
            if (d.kind == DrawKind::Flip) break;
            if (d.kind == DrawKind::Clear) flashes = pointers = 0;
            flashes += d.kind == DrawKind::Rect && d.r == 20 && d.w == 1280;
            pointers += d.kind == DrawKind::Image && d.image == display.IconSheet && d.x == 512 &&
                        d.y == 412;
        }
        EXPECT_EQ(flashes, 1);
        EXPECT_EQ(pointers, 1);
        int clears = 0;
        for (const DrawRecord& d : RecordedDraws()) clears += d.kind == DrawKind::Clear;
        EXPECT_EQ(clears, parity == 1 ? 2 : 1); // the frame's own, and the redrawing
        EXPECT_EQ(e.x, 300);                    // nothing moved for the picture
        // The enemy's health label is in the first picture, where it stands.
        bool label = false;
        for (const DrawRecord& d : RecordedDraws()) {
            if (d.kind == DrawKind::Flip) break;
            label = label || (d.kind == DrawKind::Text && d.text == "99" && d.y < 300);
        }
        EXPECT_TRUE(label);
    }
}

TEST(ScoreLine, LastTwelveDigitsZeroPadded) {
    EXPECT_EQ(ScoreDigits(0), "000000000000");
    EXPECT_EQ(ScoreDigits(12345), "000000012345");
    EXPECT_EQ(ScoreDigits(2147483647), "002147483647");
}

TEST(Quit, ThePauseMenusQuitEndsTheRoundWithAQuitRecord) {
    // Escape opens the pause menu; Down picks "Quit"; Escape leaves with it.
    // Enter later confirms the name.
    startRound(0, "0 down 27\n"
                  "300 up 27\n"
                  "600 down 40\n"
                  "700 up 40\n"
                  "900 down 27\n"
                  "1000 up 27\n"
                  "4000 down 13\n"
                  "4100 up 13\n");
    quietField();
    game.RoundScore = 0;
    int frames = 0;
    while (RoundFrame() == 0 && frames < 300) frames++;
    ASSERT_EQ(game.Over, 99);
    EXPECT_EQ(figure().health, 99);
    game.RoundScore = 5; // so the record can be told apart
    FinishRound();
    EXPECT_EQ(frame.PauseState, 0);
    ASSERT_FALSE(scores.ScoreTable.empty());
    EXPECT_EQ(scores.ScoreTable.front().Quit, 1);
    EXPECT_EQ(scores.ScoreTable.front().Score, 5);
}

TEST(Quit, ADeathEndsTheRoundWithAnOrdinaryRecord) {
    startRound(2, "3000 down 13\n3100 up 13\n");
    quietField();
    figure().health = 1;
    addStillEnemy(figure().x, figure().y);
    game.RoundScore = 3;
    EXPECT_EQ(RoundFrame(), 1);
    FinishRound();
    ASSERT_FALSE(scores.ScoreTable.empty());
    EXPECT_EQ(scores.ScoreTable.front().Quit, 0);
    EXPECT_EQ(scores.ScoreTable.front().Score, 3);
    EXPECT_EQ(scores.ScoreTable.front().GameMode, 2);
}

TEST(PlayRound, AStillFigureIsOverrunAndTheRoundEndsWithARecord) {
    // Nobody moves the figure: the first enemies reach it within seconds.
    // Enter, much later, confirms the name.
    startRound(0, "120000 down 13\n120100 up 13\n");
    PlayRound();
    EXPECT_EQ(game.Over, 1);
    EXPECT_LE(figure().health, 0);
    EXPECT_EQ(frame.PauseState, 0);
    ASSERT_EQ(scores.ScoreTable.size(), 1u);
    EXPECT_EQ(scores.ScoreTable.front().Quit, 0);
    EXPECT_EQ(scores.ScoreTable.front().Score, 0);
}

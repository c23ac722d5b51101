// entities_test.cpp - where new enemies and gun posts may appear.
#include "game/game.h"
#include "shell/display.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

// A fresh program on the doubles with the figure standing at (x, y).
void startWithFigureAt(float x, float y) {
    StartDoubles();
    PlayerFigure figure;
    figure.x = x;
    figure.y = y;
    figure.health = 99;
    game.Players.push_back(figure);
}

} // namespace

TEST(EnemySpot, TheScreenEdgeCountsAsOutside) {
    StartDoubles();
    int w = display.VirtualWidth, h = display.VirtualHeight;
    EXPECT_TRUE(EnemySpotAllowed(0, 300));
    EXPECT_TRUE(EnemySpotAllowed(static_cast<float>(w), 300));
    EXPECT_TRUE(EnemySpotAllowed(500, 0));
    EXPECT_TRUE(EnemySpotAllowed(500, static_cast<float>(h)));
    EXPECT_TRUE(EnemySpotAllowed(-64, -64));
    EXPECT_TRUE(EnemySpotAllowed(static_cast<float>(w + 64), 10));
    EXPECT_FALSE(EnemySpotAllowed(1, 1));
    EXPECT_FALSE(EnemySpotAllowed(static_cast<float>(w - 1), static_cast<float>(h - 1)));
    EXPECT_FALSE(EnemySpotAllowed(640, 480));
}

TEST(SpawnEnemy, NeverInsideTheScreenAndSometimesOnItsEdge) {
    startWithFigureAt(640, 480);
    int w = display.VirtualWidth, h = display.VirtualHeight;
    int onEdge = 0;
    for (int i = 0; i < 4000; i++) SpawnEnemy();
    ASSERT_EQ(game.Enemies.size(), 4000u);
    for (const Enemy& e : game.Enemies) {
        ASSERT_GE(e.x, -64);
        ASSERT_LE(e.x, w + 64);
        ASSERT_GE(e.y, -64);
        ASSERT_LE(e.y, h + 64);
        ASSERT_EQ(e.x, std::trunc(e.x)); // whole-number places
        ASSERT_EQ(e.y, std::trunc(e.y));
        bool strictlyInside = e.x > 0 && e.x < w && e.y > 0 && e.y < h;
        ASSERT_FALSE(strictlyInside) << e.x << "," << e.y;
        if (e.x == 0 || e.x == w || e.y == 0 || e.y == h) onEdge++;
        ASSERT_GE(e.spd, 0.8f);
        ASSERT_LT(e.spd, 1.2f);
        ASSERT_EQ(e.health, 99);
        ASSERT_EQ(e.aimx, 640);
        ASSERT_EQ(e.aimy, 480);
        ASSERT_EQ(e.show, 0);
        ASSERT_EQ(e.t, 0);
    }
    // About one outside point in sixty lies on the edge; none would if the
    // edge were refused.
    EXPECT_GT(onEdge, 10);
}

TEST(SpawnEnemy, AppendsAtTheEndAimedAtTheFigure) {
    startWithFigureAt(100.5f, 200.25f);
    SpawnEnemy();
    game.Enemies.back().health = 5; // mark the first one
    SpawnEnemy();
    ASSERT_EQ(game.Enemies.size(), 2u);
    EXPECT_EQ(game.Enemies.front().health, 5);
    EXPECT_EQ(game.Enemies.back().health, 99);
    EXPECT_EQ(game.Enemies.back().aimx, 100.5f);
    EXPECT_EQ(game.Enemies.back().aimy, 200.25f);
}

TEST(PostSpot, DistanceIsMeasuredOnWholeUnitsAndMustExceed128) {
    StartDoubles();
    EXPECT_FALSE(PostSpotAllowed(768, 480, 640, 480)); // exactly 128
    EXPECT_TRUE(PostSpotAllowed(769, 480, 640, 480));  // 129
    EXPECT_FALSE(PostSpotAllowed(640, 352, 640, 480)); // 128 straight up
    EXPECT_TRUE(PostSpotAllowed(640, 351, 640, 480));
    // 128.9 units away truncates to 128 and is refused.
    EXPECT_FALSE(PostSpotAllowed(768, 480, 639.1f, 480));
    // 91 and 91 make 128.69, truncated to 128; 91 and 92 make 129.4.
    EXPECT_FALSE(PostSpotAllowed(640 + 91, 480 + 91, 640, 480));
    EXPECT_TRUE(PostSpotAllowed(640 + 91, 480 + 92, 640, 480));
}

TEST(SpawnGunPost, KeepsAwayFromFigureAndEdgesAndStartsClosedWithFullCount) {
    // The figure in a corner region and at the centre: posts crowd the rest.
    const float places[][2] = {{640, 480}, {200, 200}, {1100, 800}};
    for (const auto& place : places) {
        startWithFigureAt(place[0], place[1]);
        int w = display.VirtualWidth, h = display.VirtualHeight;
        for (int i = 0; i < 2000; i++) SpawnGunPost();
        ASSERT_EQ(game.GunPosts.size(), 2000u);
        for (const GunPost& p : game.GunPosts) {
            ASSERT_GE(p.x, 120);
            ASSERT_LE(p.x, w - 120);
            ASSERT_GE(p.y, 120);
            ASSERT_LE(p.y, h - 120);
            int dx = static_cast<int>(std::fabs(p.x - place[0]));
            int dy = static_cast<int>(std::fabs(p.y - place[1]));
            ASSERT_GE(dx * dx + dy * dy, 129 * 129) << p.x << "," << p.y;
            ASSERT_EQ(p.inny, -7);
            ASSERT_EQ(p.tick, 594);
            ASSERT_EQ(p.tick / 6, 99); // the count a fresh post shows
            ASSERT_EQ(p.timer, 0);
            ASSERT_EQ(p.t, 0);
        }
    }
}

TEST(SpawnGunPost, InsertsAtTheFront) {
    startWithFigureAt(640, 480);
    SpawnGunPost();
    game.GunPosts.front().t = 42; // mark the older post
    SpawnGunPost();
    ASSERT_EQ(game.GunPosts.size(), 2u);
    EXPECT_EQ(game.GunPosts.front().t, 0);
    EXPECT_EQ(game.GunPosts.back().t, 42);
}

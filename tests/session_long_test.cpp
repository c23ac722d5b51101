// session_long_test.cpp - an hour of play on the virtual clock: the program
// starts up on the doubles with the built asset pack, the "groove" track is
// started and ticked by every frame, and round after round is played with
// scripted buttons and a pointer steered toward gun posts and enemies (walking,
// firing, the pause menu now and then, names confirmed). Memory in use must not creep upward over
// the hour and the sound channels must stay within the channel table.
#include "app/app.h"
#include "game/game.h"
#include "music/music.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>

namespace {

const int HourMs = 60 * 60 * 1000;

// An hour and a bit of button input, repeating every 6 s: hold the left
// button (walk), then the right one (fire), and every fourth cycle pause and
// quit the round. Enter is pressed often, so a name screen never waits long
// (the offered name is kept); presses made during a round are forgotten when
// the name screen starts. The pointer is steered by the test itself.
std::string HourScript(int fromMs) {
    std::ostringstream s;
    int cycle = 0;
    for (int t = fromMs; t < fromMs + HourMs + 120000; t += 6000, ++cycle) {
        s << t << " down mouse1\n" << t + 1500 << " up mouse1\n";
        s << t + 1600 << " down mouse2\n" << t + 2700 << " up mouse2\n";
        if (cycle % 4 == 3) {
            // Pause, move to "Quit", choose it.
            s << t + 2800 << " down 27\n" << t + 2900 << " up 27\n";
            s << t + 3100 << " down 40\n" << t + 3200 << " up 40\n";
            s << t + 3400 << " down 32\n" << t + 3500 << " up 32\n";
        }
        for (int k = 3600; k < 6000; k += 500) s << t + k << " press 13\n";
    }
    return s.str();
}

// Plays like a player: while walking, the pointer is on the newest gun post
// (a click there sends the figure to its centre); while firing, on the enemy
// nearest the figure.
void steerPointer() {
    if (game.Players.empty()) return;
    const PlayerFigure& me = game.Players.front();
    if (IsMouseDown(1) && !game.GunPosts.empty()) {
        MovePointer(static_cast<int>(game.GunPosts.front().x),
                    static_cast<int>(game.GunPosts.front().y));
        return;
    }
    const Enemy* nearest = nullptr;
    float best = 1e30f;
    for (const Enemy& e : game.Enemies) {
        float d = (e.x - me.x) * (e.x - me.x) + (e.y - me.y) * (e.y - me.y);
        if (d < best) best = d, nearest = &e;
    }
    if (nearest) MovePointer(static_cast<int>(nearest->x), static_cast<int>(nearest->y));
}

} // namespace

TEST(SessionLong, AnHourOfRoundsWithMusicKeepsMemoryAndChannelsBounded) {
    // Start-up on the doubles reaches the title screen in a few virtual
    // seconds; the input starts after that.
    std::string dir = MakeFilesCopy("long");
    std::string scriptPath = MakeTempDir("long-script") + "input.txt";
    ASSERT_TRUE(WriteWholeFile(scriptPath, HourScript(20000)));
    PlatformConfig config;
    config.scriptPath = scriptPath;
    StartDoubles(config);
    shell.FilesDir = dir;
    WaitUntil(StartUp());
    ASSERT_NE(display.GameSheet, 0) << "the asset pack was not loaded";
    SleepMillis(std::max(0, 20000 - Millis()));

    StartMusic("groove", 1, 500);
    ASSERT_EQ(music.MusicPlaying, 1) << "music/groove.ini was not found in the game folder";
    const int start = Millis();
    int64_t afterFirst = 0;
    int rounds = 0, quits = 0, bestScore = 0, effects = 0, lastCursor = game.SfxCursor,
        mostChannels = 0, framesPlayed = 0;
    size_t stepsSeen = 0;
    int lastStep = music.StepIndex;
    while (Millis() - start < HourMs) {
        frame.PauseState = 1;
        BeginRound();
        for (steerPointer(); RoundFrame() == 0; steerPointer()) {
            mostChannels = std::max(mostChannels, OpenChannelCount());
            framesPlayed++;
            if (game.SfxCursor != lastCursor) effects++, lastCursor = game.SfxCursor;
            if (music.StepIndex != lastStep) stepsSeen++, lastStep = music.StepIndex;
        }
        quits += game.Over == 99;
        bestScore = std::max(bestScore, game.RoundScore);
        FinishRound();
        frame.PauseState = 0;
        rounds++;
        mostChannels = std::max(mostChannels, OpenChannelCount());
        if (rounds == 1) {
            CollectMemory();
            afterFirst = MemoryInUse();
        }
    }
    CollectMemory();
    int64_t atEnd = MemoryInUse();

    std::printf("%d rounds (%d quit), %d frames, %d effects, best score %d, at most %d channels, "
                "memory %lld after the first round, %lld at the end\n",
                rounds, quits, framesPlayed, effects, bestScore, mostChannels,
                static_cast<long long>(afterFirst), static_cast<long long>(atEnd));
    // An hour of rounds of a few seconds to a few tens of seconds each, some
    // quit from the pause menu and some lost.
    EXPECT_GE(rounds, 100);
    EXPECT_GT(quits, 0);
    EXPECT_LT(quits, rounds);
    EXPECT_GE(framesPlayed, 60 * 60 * 50); // most of the hour is spent in rounds
    // The music kept stepping all along (a step is a quarter of a second).
    EXPECT_GE(stepsSeen, static_cast<size_t>(HourMs / 250 / 2));
    EXPECT_EQ(music.MusicPlaying, 1);
    // Every round was stored (nothing prunes the table outside the title screen).
    EXPECT_EQ(scores.ScoreTable.size(), static_cast<size_t>(rounds));
    EXPECT_LE(mostChannels, 260);
    // Shots were heard all through: the effect slots went round many times.
    EXPECT_GT(effects, 5 * 236) << "the figure hardly fired";
    EXPECT_GT(bestScore, 0);
    // No creep: within 10 % of the figure after the first round.
    EXPECT_LE(atEnd, afterFirst + afterFirst / 10) << "after the first round " << afterFirst;
    EXPECT_GE(atEnd, afterFirst - afterFirst / 10) << "after the first round " << afterFirst;
}

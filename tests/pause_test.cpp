// pause_test.cpp - the pause menu on the doubles with scripted input: opening
// on a held Escape, the input latch, moving and wrapping the selection,
// leaving with Escape or fire, the repeatable title storm, the reseeding on
// exit and Alt+F4 inside the menu.
#include "draw/draw.h"
#include "platform/recording.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "ui/ui.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

using Frame = std::vector<DrawRecord>;

// Splits everything recorded so far into presented frames.
std::vector<Frame> RecordedFrames() {
    std::vector<Frame> frames(1);
    for (const DrawRecord& d : RecordedDraws()) {
        if (d.kind == DrawKind::Flip)
            frames.emplace_back();
        else
            frames.back().push_back(d);
    }
    if (frames.back().empty()) frames.pop_back();
    return frames;
}

// The entry drawn in yellow in a frame: "Continue", "Quit" or "" when none.
std::string Highlighted(const Frame& f) {
    for (const DrawRecord& d : f)
        if (d.kind == DrawKind::Text && (d.text == "Continue" || d.text == "Quit") && d.r == 255 &&
            d.g == 255 && d.b == 0)
            return d.text;
    return "";
}

// The highlighted entry of every menu frame, with repeats collapsed.
std::vector<std::string> HighlightChanges() {
    std::vector<std::string> seen;
    for (const Frame& f : RecordedFrames()) {
        std::string h = Highlighted(f);
        if (h.empty()) continue;
        if (seen.empty() || seen.back() != h) seen.push_back(h);
    }
    return seen;
}

// The title-storm words drawn in a frame.
std::vector<DrawRecord> StormWords(const Frame& f) {
    std::vector<DrawRecord> words;
    for (const DrawRecord& d : f)
        if (d.kind == DrawKind::Text && d.text == "Zorvek Plon") words.push_back(d);
    return words;
}

class PauseMenuTest : public ::testing::Test {
  protected:
    std::string dir;

    // Starts the doubles with the given input script, in a game folder of a
    // fresh Files/ tree, as EndFrame would call the menu during a round.
    void Start(const std::string& script) {
        dir = MakeTempDir("pause");
        std::ofstream(dir + "input.txt") << script;
        PlatformConfig config;
        config.scriptPath = dir + "input.txt";
        StartDoubles(config);
        ASSERT_TRUE(MakeDir(dir + "Files"));
        ASSERT_TRUE(MakeDir(dir + "Files/251"));
        ASSERT_TRUE(ChangeDir(dir + "Files/251"));
        display.FontSet[7] = LoadFont(BuiltFilesDir() + "Common/Blue Highway.ttf", 32);
        ASSERT_NE(display.FontSet[7], 0) << PlatformError();
        for (int s = 1; s <= 6; s++) display.FontSet[s] = display.FontSet[7];
        frame.PauseState = 2;
        frame.LastFrameEnd = Millis();
        // Let the opening Escape (at 10 ms in every script) arrive.
        SleepMillis(12);
        ClearRecordedDraws();
    }
};

TEST_F(PauseMenuTest, HeldEscapeWaitsForReleaseAndAnotherEscapeContinues) {
    Start("10 down 27\n"
          "200 up 27\n"
          "600 down 27\n"
          "650 up 27\n");
    ASSERT_TRUE(IsKeyDown(27));
    int result = PauseMenu();
    EXPECT_EQ(result, 1);
    // Nothing was drawn while the opening Escape was held, and the menu stayed
    // open until the second Escape.
    EXPECT_GE(Millis(), 650);
    std::vector<Frame> frames = RecordedFrames();
    EXPECT_GE(frames.size(), 20u);
    EXPECT_LE(frames.size(), 32u); // about 40 had it not waited for the release
    EXPECT_EQ(HighlightChanges(), std::vector<std::string>{"Continue"});
}

TEST_F(PauseMenuTest, FireHeldAtOpeningIsIgnoredUntilReleased) {
    Start("10 down 27\n"
          "10 down 32\n"
          "40 up 27\n"
          "400 up 32\n"
          "500 down 40\n"
          "520 up 40\n"
          "600 down 32\n"
          "620 up 32\n"
          "1000 down 27\n"
          "1020 up 27\n");
    int result = PauseMenu();
    // Space held since the opening did not choose "Continue"; after the
    // release, Down then Space chose "Quit" before the Escape at 1000 ms.
    EXPECT_EQ(result, 99);
    EXPECT_GE(Millis(), 600);
    EXPECT_LT(Millis(), 1000);
}

TEST_F(PauseMenuTest, HeldDownMovesOnceAndWrapsAfterRelease) {
    Start("10 down 27\n"
          "30 up 27\n"
          "100 down 40\n"
          "400 up 40\n"
          "500 down 40\n"
          "520 up 40\n"
          "600 down 38\n"
          "700 up 38\n"
          "800 down 27\n"
          "820 up 27\n");
    int result = PauseMenu();
    // Down held for 300 ms moves once; the second Down wraps to "Continue";
    // Up from "Continue" wraps to "Quit", which Escape then takes.
    EXPECT_EQ(result, 99);
    EXPECT_GE(Millis(), 820); // it returned only once that Escape was released
    std::vector<std::string> expected = {"Continue", "Quit", "Continue", "Quit"};
    EXPECT_EQ(HighlightChanges(), expected);
}

TEST_F(PauseMenuTest, BoundControlOfAnyPlayerMovesTheSelection) {
    // Player 3's "down" bound to K and "right face button" bound to L.
    Start("10 down 27\n"
          "30 up 27\n"
          "100 down 75\n"
          "140 up 75\n"
          "200 down 76\n"
          "240 up 76\n");
    shell.ControlBindings[2 * 20 + 8] = 75;
    shell.ControlBindings[2 * 20 + 11] = 76;
    EXPECT_EQ(PauseMenu(), 99);
    EXPECT_LT(Millis(), 400);
}

TEST_F(PauseMenuTest, TitleStormIsTheSamePictureEveryFrame) {
    Start("10 down 27\n"
          "30 up 27\n"
          "300 down 27\n"
          "320 up 27\n");
    PauseMenu();
    std::vector<Frame> frames = RecordedFrames();
    ASSERT_GE(frames.size(), 4u);
    std::vector<DrawRecord> a = StormWords(frames[1]), b = StormWords(frames[2]);
    ASSERT_EQ(a.size(), 180u);
    ASSERT_EQ(b.size(), 180u);
    int distinctColours = 0;
    for (size_t i = 0; i < a.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(a[i].x, b[i].x);
        EXPECT_EQ(a[i].y, b[i].y);
        EXPECT_EQ(a[i].r, b[i].r);
        EXPECT_EQ(a[i].g, b[i].g);
        EXPECT_EQ(a[i].b, b[i].b);
        EXPECT_FLOAT_EQ(a[i].alpha, 0.4f);
        EXPECT_NE(a[i].rotation, b[i].rotation); // the storm still turns
        EXPECT_EQ(a[i].r % 50, 0);
        EXPECT_GE(a[i].r, 50);
        EXPECT_LE(a[i].r, 250);
        if (i > 0 && (a[i].r != a[i - 1].r || a[i].b != a[i - 1].b)) distinctColours++;
    }
    EXPECT_GT(distinctColours, 50);

    // The storm follows the fixed seed: blue, green and red, then y and x.
    SeedRandom(37171650);
    int blue = RandomInt(1, 5), green = RandomInt(1, 5), red = RandomInt(1, 5);
    int y = RandomInt(0, display.VirtualHeight), x = RandomInt(0, display.VirtualWidth);
    SetFont(display.FontSet[7]);
    EXPECT_EQ(a[0].r, 50 * red);
    EXPECT_EQ(a[0].g, 50 * green);
    EXPECT_EQ(a[0].b, 50 * blue);
    EXPECT_EQ(a[0].x, x - MeasureText("Zorvek Plon") / 2);
    EXPECT_EQ(a[0].y, y - TextLineHeight() / 2);
}

TEST_F(PauseMenuTest, GameRandomNumbersDoNotContinueTheStormSeed) {
    Start("10 down 27\n"
          "30 up 27\n"
          "200 down 27\n"
          "220 up 27\n");
    PauseMenu();
    std::vector<int> after;
    for (int i = 0; i < 8; i++) after.push_back(RandomInt(0, 1000000));

    // What the game would draw if the sequence went on from the storm's seed.
    SeedRandom(37171650);
    for (int i = 0; i < 180; i++) {
        RandomInt(1, 5);
        RandomInt(1, 5);
        RandomInt(1, 5);
        RandomInt(0, display.VirtualHeight);
        RandomInt(0, display.VirtualWidth);
    }
    std::vector<int> continued;
    for (int i = 0; i < 8; i++) continued.push_back(RandomInt(0, 1000000));
    EXPECT_NE(after, continued);
}

TEST_F(PauseMenuTest, AltF4InsideTheMenuEndsTheProgram) {
    Start("10 down 27\n"
          "30 up 27\n"
          "200 down 164\n"
          "200 down 115\n");
    try {
        PauseMenu();
        FAIL() << "the menu returned instead of closing the program";
    } catch (const ProcessEnded& ended) {
        EXPECT_EQ(ended.status, 0);
    }
    // The closing screen saved the setup beside the game folder.
    EXPECT_TRUE(FileExists(dir + "Files/Setup.ini"));
}

} // namespace

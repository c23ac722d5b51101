// screenshot_test.cpp - F11 screenshots on the doubles: the file name from the
// calendar, the folder it lands in, the debug log, the on-screen message, the
// picture's size, overwriting within a second and a failed write.
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

const std::string FirstName = "Zorvek Plon (Screenshot_07 Dec 2026_081403).png";

class ScreenshotTest : public ::testing::Test {
  protected:
    std::string dir, files;

    // Doubles at 08:14:03 on 7 December 2026, in the game folder of a fresh
    // Files/ tree with the debug log open.
    void SetUp() override {
        dir = MakeTempDir("shot");
        PlatformConfig config;
        config.startTime = "2026-12-07 08:14:03";
        StartDoubles(config);
        files = dir + "Files/";
        ASSERT_TRUE(MakeDir(files));
        ASSERT_TRUE(MakeDir(files + "251"));
        ASSERT_TRUE(ChangeDir(files + "251"));
        shell.DebugLog = CreateTextFile(files + "Debug.txt");
        ASSERT_NE(shell.DebugLog, 0);
        std::string common = BuiltFilesDir() + "Common/";
        display.FontSet[5] = LoadFont(common + "Blue Highway.ttf", 96);
        display.FontSet[6] = LoadFont(common + "Blue Highway.ttf", 72);
        ASSERT_NE(display.FontSet[6], 0) << PlatformError();
        display.PhysicalWidth = 800;
        display.PhysicalHeight = 600;
        ASSERT_TRUE(OpenDisplay(800, 600, 0, 60)) << PlatformError();
        SetLogicalSize(1280, 960);
    }

    void TearDown() override {
        CloseTextFile(shell.DebugLog);
        shell.DebugLog = 0;
    }

    std::vector<std::string> LogLines() {
        std::vector<std::string> lines;
        ReadTextLines(files + "Debug.txt", lines);
        return lines;
    }

    bool InGameFolder() {
        std::string here = CurrentDir();
        if (here.back() == '/') here.pop_back();
        return here.size() >= 9 && here.substr(here.size() - 9) == "Files/251";
    }
};

TEST_F(ScreenshotTest, NameComesFromTitleDateAndTimeWithoutColons) {
    EXPECT_EQ(ScreenshotName(), FirstName);
    SleepMillis(61 * 1000 + 500);
    EXPECT_EQ(ScreenshotName(), "Zorvek Plon (Screenshot_07 Dec 2026_081504).png");
}

TEST_F(ScreenshotTest, SavesThePhysicalPictureInTheProgramsFolder) {
    ClearRecordedDraws();
    TakeScreenshot();

    Pixmap saved;
    ASSERT_TRUE(LoadPixmapPng(files + FirstName, saved)) << PlatformError();
    EXPECT_EQ(saved.width, 800);
    EXPECT_EQ(saved.height, 600);
    EXPECT_FALSE(FileExists(files + "251/" + FirstName));
    EXPECT_TRUE(InGameFolder()) << CurrentDir();

    std::vector<std::string> expected = {"",
                                         "\tScreenshot",
                                         "\tGrabbing Screenshot",
                                         "\tSaving Screenshot : " + FirstName,
                                         "\tSaved Screenshot 1",
                                         ""};
    EXPECT_EQ(LogLines(), expected);

    ASSERT_EQ(frame.Notices.size(), 1u);
    EXPECT_EQ(frame.Notices.front().txt, "Saved Screenshot");
    EXPECT_EQ(frame.Notices.front().c, 1);
    EXPECT_EQ(frame.Notices.front().tick, 0);

    // The message is drawn centred and presented while the file is written.
    const std::vector<DrawRecord>& draws = RecordedDraws();
    ASSERT_EQ(draws.size(), 3u);
    EXPECT_EQ(draws[0].text, "Saving Screenshot");
    EXPECT_EQ(draws[0].font, display.FontSet[5]);
    SetFont(display.FontSet[5]);
    EXPECT_EQ(draws[0].x, 640 - MeasureText("Saving Screenshot") / 2);
    EXPECT_EQ(draws[0].y, 450 - TextLineHeight() / 2);
    EXPECT_EQ(draws[1].text, "Sometimes, this takes a while!");
    EXPECT_EQ(draws[1].font, display.FontSet[6]);
    SetFont(display.FontSet[6]);
    EXPECT_EQ(draws[1].y, 510 - TextLineHeight() / 2);
    EXPECT_EQ(draws[2].kind, DrawKind::Flip);
}

TEST_F(ScreenshotTest, TwoInTheSameSecondOverwrite) {
    std::ofstream(files + FirstName) << "not a picture";
    TakeScreenshot();
    TakeScreenshot();
    Pixmap saved;
    ASSERT_TRUE(LoadPixmapPng(files + FirstName, saved)) << PlatformError();
    EXPECT_EQ(saved.width, 800);
    int savedLines = 0;
    for (const std::string& line : LogLines()) {
        if (line == "\tSaved Screenshot 1") savedLines++;
        if (line.rfind("\tSaving Screenshot : ", 0) == 0) {
            EXPECT_EQ(line, "\tSaving Screenshot : " + FirstName);
        }
    }
    EXPECT_EQ(savedLines, 2);
    EXPECT_EQ(frame.Notices.size(), 2u);
}

TEST_F(ScreenshotTest, FailedWriteIsLoggedAndToldAsAFailure) {
    // A folder in the way of the file makes the write fail, even for root.
    ASSERT_TRUE(MakeDir(files + FirstName));
    TakeScreenshot();
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[4], "\tSaved Screenshot 0");
    EXPECT_EQ(lines[5], "");
    ASSERT_EQ(frame.Notices.size(), 1u);
    EXPECT_EQ(frame.Notices.front().txt, "Screenshot failed");
    EXPECT_TRUE(InGameFolder()) << CurrentDir();

    // The next second's screenshot is saved as usual.
    SleepMillis(1000);
    TakeScreenshot();
    EXPECT_TRUE(FileExists(files + "Zorvek Plon (Screenshot_07 Dec 2026_081404).png"));
    EXPECT_EQ(frame.Notices.back().txt, "Saved Screenshot");
}

} // namespace

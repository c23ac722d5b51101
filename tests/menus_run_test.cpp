// menus_run_test.cpp - one scripted run of the real game on the title screen:
// F11 screenshots (names from the virtual calendar, the program's folder, the
// physical size, nothing of the panel, overlay or pointer in the picture,
// overwriting within a second, a write that fails) and the settings panel's
// "Apply" reopening the display at a newly chosen size.
#include "platform/platform.h"
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string Shot(const std::string& hhmmss) {
    return "Zorvek Plon (Screenshot_07 Dec 2026_" + hhmmss + ").png";
}

// The run's input, on the virtual clock that starts at 08:14:03; the title
// screen is up and slid in well before 5.3 s.
const char* const Script =
    // Shot A at 08:14:08: panel closed, overlay off, pointer low in the middle.
    "5300 mouse 640 700\n"
    "5310 press 122\n"
    // Panel open, overlay on, pointer over the panel; shot B twice at 08:14:09.
    "5500 press 9\n"
    "5600 press 123\n"
    "5650 mouse 900 150\n"
    "6300 press 122\n"
    "6400 press 122\n"
    // 08:14:10 fails (a folder holds the name); 08:14:11 is saved again.
    "7300 press 122\n"
    "8300 press 122\n"
    // One mode to the left in the resolution area, then "Apply".
    "8400 mouse 150 150\n"
    "8500 press 37\n"
    "8700 mouse 30 290\n"
    "8800 press mouse1\n"
    // Back on the title screen at the new size: shot E at 08:14:18.
    "15300 press 122\n"
    "15500 end\n";

struct RunOutcome {
    std::string dir;
    RunResult result;
    std::vector<std::string> log;
};

// The run every check looks at (it takes a few minutes of real time).
const RunOutcome& TheRun() {
    static RunOutcome run = [] {
        RunOutcome r;
        r.dir = MakeFilesCopy("menus-run");
        MakeDir(r.dir + Shot("081410"));
        WriteWholeFile(r.dir + "run.script", Script);
        r.result = RunGame({"--headless", "--script", r.dir + "run.script", "--seed", "1",
                            "--start-time", "2026-12-07 08:14:03", "--files", r.dir},
                           "", 1800);
        r.log = ReadLinesOf(r.dir + "Debug.txt");
        return r;
    }();
    return run;
}

// The picture in a file of the run's folder; width 0 when it cannot be read.
Pixmap Picture(const std::string& name) {
    Pixmap p;
    if (!LoadPixmapPng(TheRun().dir + name, p)) p.width = 0;
    return p;
}

// The value of "Key=value" in the setup file the run left.
std::string SetupValue(const std::string& key) {
    for (const std::string& line : ReadLinesOf(TheRun().dir + "Setup.ini"))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return "";
}

// Index of the first log line equal to text at or after from; -1 when none.
int FindLine(const std::vector<std::string>& log, const std::string& text, int from = 0) {
    for (int i = std::max(from, 0); i < static_cast<int>(log.size()); i++)
        if (log[i] == text) return i;
    return -1;
}

void CheckRunEndsWithTheScript() {
    const RunOutcome& run = TheRun();
    EXPECT_EQ(run.result.status, 3) << run.result.err;
    EXPECT_GE(FindLine(run.log, "Finished Loading"), 0);
}

void CheckScreenshotIsNamedFromTheVirtualTimeInTheProgramsFolder() {
    const RunOutcome& run = TheRun();
    Pixmap a = Picture(Shot("081408"));
    EXPECT_EQ(a.width, 800);
    EXPECT_EQ(a.height, 600);
    EXPECT_FALSE(PathExists(run.dir + "251/" + Shot("081408")));
    int at = FindLine(run.log, "\tSaving Screenshot : " + Shot("081408"));
    ASSERT_GE(at, 3);
    EXPECT_EQ(run.log[at - 1], "\tGrabbing Screenshot");
    EXPECT_EQ(run.log[at - 2], "\tScreenshot");
    EXPECT_EQ(run.log[at + 1], "\tSaved Screenshot 1");
}

void CheckPictureHoldsNeitherPanelNorOverlayNorPointer() {
    // A was taken with everything closed and the pointer low; B with the
    // panel open over the top third, the overlay on and the pointer on the
    // panel. Only the blinking Tab hint in the top rows may differ.
    Pixmap a = Picture(Shot("081408")), b = Picture(Shot("081409"));
    ASSERT_EQ(a.width, 800);
    ASSERT_EQ(b.width, 800);
    ASSERT_EQ(a.pixels.size(), b.pixels.size());
    int differing = 0, firstRow = -1;
    for (int y = 24; y < a.height; y++)
        for (int x = 0; x < a.width; x++) {
            size_t i = static_cast<size_t>(y) * 800 + static_cast<size_t>(x);
            if (a.pixels[i] != b.pixels[i]) {
                differing++;
                if (firstRow < 0) firstRow = y;
            }
        }
    EXPECT_EQ(differing, 0) << "first differing row " << firstRow;
    // The panel's light green edge (logical row 318..320) is not in B.
    int green = 0;
    for (int x = 0; x < 800; x++) {
        uint32_t p = b.pixels[199 * 800 + static_cast<size_t>(x)];
        if (((p >> 16) & 0xFF) > 150 && ((p >> 8) & 0xFF) > 200) green++;
    }
    EXPECT_LT(green, 100);
}

void CheckTwoScreenshotsInOneSecondOverwrite() {
    const RunOutcome& run = TheRun();
    int first = FindLine(run.log, "\tSaving Screenshot : " + Shot("081409"));
    ASSERT_GE(first, 0);
    int second = FindLine(run.log, "\tSaving Screenshot : " + Shot("081409"), first + 1);
    ASSERT_GT(second, first);
    EXPECT_EQ(run.log[first + 1], "\tSaved Screenshot 1");
    EXPECT_EQ(run.log[second + 1], "\tSaved Screenshot 1");
    EXPECT_EQ(Picture(Shot("081409")).height, 600);
}

void CheckFailedWriteLogsZeroAndTheGameGoesOn() {
    const RunOutcome& run = TheRun();
    int at = FindLine(run.log, "\tSaving Screenshot : " + Shot("081410"));
    ASSERT_GE(at, 0);
    EXPECT_EQ(run.log[at + 1], "\tSaved Screenshot 0");
    // The folder was restored: the next one lands beside the setup file.
    EXPECT_EQ(Picture(Shot("081411")).width, 800);
    EXPECT_FALSE(PathExists(run.dir + "251/" + Shot("081411")));
    EXPECT_FALSE(PathExists(run.dir + "251/" + Shot("081418")));
}

void CheckApplyReopensTheDisplayAtTheChosenSize() {
    const RunOutcome& run = TheRun();
    std::string width = SetupValue("Width"), height = SetupValue("Height");
    ASSERT_FALSE(width.empty());
    ASSERT_FALSE(height.empty());
    EXPECT_NE(width + "x" + height, "800x600");

    // The second set-up of the display, at the new size.
    int first = FindLine(run.log, "Applying Graphical Settings");
    ASSERT_GE(first, 0);
    int again = FindLine(run.log, "Applying Graphical Settings", first + 1);
    ASSERT_GT(again, first);
    EXPECT_EQ(run.log[again + 1], "\tChanged Graphics Mode ingame.");
    EXPECT_GE(FindLine(run.log, "\tResolution : " + width + "x" + height + ",0", again), 0);
    EXPECT_GE(FindLine(run.log, "\tDefault Fonts", again), 0);
    EXPECT_EQ(FindLine(run.log, "\tChanged Graphics Mode ingame.", again + 2), -1);

    // A screenshot after it has the new physical size.
    Pixmap e = Picture(Shot("081418"));
    EXPECT_EQ(std::to_string(e.width), width);
    EXPECT_EQ(std::to_string(e.height), height);
}

// One test for the whole run: every test program of a ctest run is started
// once per test, and the run takes minutes.
TEST(MenusRunTest, ScreenshotsAndApplyOnTheTitleScreen) {
    {
        SCOPED_TRACE("RunEndsWithTheScript");
        CheckRunEndsWithTheScript();
    }
    {
        SCOPED_TRACE("ScreenshotIsNamedFromTheVirtualTimeInTheProgramsFolder");
        CheckScreenshotIsNamedFromTheVirtualTimeInTheProgramsFolder();
    }
    {
        SCOPED_TRACE("PictureHoldsNeitherPanelNorOverlayNorPointer");
        CheckPictureHoldsNeitherPanelNorOverlayNorPointer();
    }
    {
        SCOPED_TRACE("TwoScreenshotsInOneSecondOverwrite");
        CheckTwoScreenshotsInOneSecondOverwrite();
    }
    {
        SCOPED_TRACE("FailedWriteLogsZeroAndTheGameGoesOn");
        CheckFailedWriteLogsZeroAndTheGameGoesOn();
    }
    {
        SCOPED_TRACE("ApplyReopensTheDisplayAtTheChosenSize");
        CheckApplyReopensTheDisplayAtTheChosenSize();
    }
}

} // namespace

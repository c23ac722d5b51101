// closing_test.cpp - the closing screen in-process: everything is saved before
// the page waits, the page is drawn once in a 640 x 480 window, and each way
// of leaving ends the program with status 0; a signal to end saves and ends
// without the page.
#include "platform/recording.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "ui/ui.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>

namespace {

const char* const FontPath = "/usr/share/fonts/truetype/open-sans/OpenSans-Regular.ttf";

class ClosingTest : public ::testing::Test {
  protected:
    std::string root; // plays the part of Files/

    // Starts the doubles with a script and a Files folder as start-up leaves it.
    void Start(const std::string& script) {
        root = MakeTempDir("closing");
        std::ofstream(root + "input.txt") << script;
        PlatformConfig config;
        config.scriptPath = root + "input.txt";
        StartDoubles(config);
        ASSERT_TRUE(MakeDir(root + "Common"));
        ASSERT_TRUE(MakeDir(root + GameFolder()));
        SaveLogo(root + "Common/logo.png", 100, 40);
        SaveLogo(root + "Common/Palvex.png", 64, 64);
        shell.DebugLog = CreateTextFile(root + "Debug.txt");
        shell.AudioDriverList = {"Quiet"};
        shell.Settings[slot::Width] = 1280;
        shell.Settings[slot::Height] = 960;
        for (int i = 6; i <= 9; ++i) display.FontSet[i] = LoadFont(FontPath, 10 + 2 * i);
        ASSERT_TRUE(ChangeDir(root + GameFolder()));
        ASSERT_TRUE(OpenDisplay(1280, 960, 0, 60));
        SetLogicalSize(1280, 960);
        ClearRecordedDraws();
    }
    void TearDown() override {
        CloseTextFile(shell.DebugLog);
        shell.DebugLog = 0;
        PlatformShutdown();
    }

    static void SaveLogo(const std::string& path, int w, int h) {
        Pixmap pixmap;
        pixmap.width = w;
        pixmap.height = h;
        pixmap.pixels.assign(static_cast<size_t>(w * h), 0xFF20A040u);
        ASSERT_TRUE(SavePixmapPng(pixmap, path, 9)) << PlatformError();
    }

    // Runs the closing screen and returns the status it ends the program with.
    static int Close() {
        try {
            ClosingScreen();
        } catch (const ProcessEnded& ended) {
            return ended.status;
        }
        return -1000; // never reached: ClosingScreen does not return
    }

    static const DrawRecord* FindText(const std::vector<DrawRecord>& draws, const std::string& text,
                                      int nth = 0) {
        for (const DrawRecord& r : draws)
            if (r.kind == DrawKind::Text && r.text == text && nth-- == 0) return &r;
        return nullptr;
    }
};

} // namespace

TEST_F(ClosingTest, AKeyPressEndsWithStatusZeroAfterSavingAndLogging) {
    Start("500 down 32\n");
    EXPECT_EQ(Close(), 0);
    EXPECT_GE(Millis(), 500); // it waited for the key
    EXPECT_TRUE(FileExists(root + "Setup.ini"));
    EXPECT_TRUE(FileExists(root + GameFolder() + "scores.dat"));
    EXPECT_FALSE(FileExists(root + GameFolder() + "Setup.ini"));
    EXPECT_EQ(shell.DebugLog, 0); // the log is closed
    std::vector<std::string> log;
    ASSERT_TRUE(ReadTextLines(root + "Debug.txt", log));
    std::vector<std::string> tail = {"Closing Up", "", "Bye!", "", "Play again, soon!!"};
    ASSERT_GE(log.size(), tail.size());
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), log.end() - 5));
}

TEST_F(ClosingTest, SavesBeforeWaitingEvenWhenNothingArrives) {
    // No input at all: the script runs dry while the page waits.
    Start("10 mouse 5 5\n");
    int status = Close();
    EXPECT_NE(status, 0);
    EXPECT_TRUE(FileExists(root + "Setup.ini"));
    EXPECT_TRUE(FileExists(root + GameFolder() + "scores.dat"));
    EXPECT_NE(FindText(RecordedDraws(), "Thanks for Playing"), nullptr);
}

TEST_F(ClosingTest, DrawsTheThankYouPageOnceInASmallWindow) {
    Start("100 down mouse2\n");
    EXPECT_EQ(Close(), 0);
    EXPECT_EQ(LogicalWidth(), 640);
    EXPECT_EQ(LogicalHeight(), 480);
    const std::vector<DrawRecord>& draws = RecordedDraws();
    ASSERT_FALSE(draws.empty());
    EXPECT_EQ(std::count_if(draws.begin(), draws.end(),
                            [](const DrawRecord& r) { return r.kind == DrawKind::Flip; }),
              1);
    // The dark blue page.
    auto page = std::find_if(draws.begin(), draws.end(),
                             [](const DrawRecord& r) { return r.kind == DrawKind::Rect; });
    ASSERT_NE(page, draws.end());
    EXPECT_EQ(page->w, 640);
    EXPECT_EQ(page->h, 480);
    EXPECT_EQ(page->b, 80);
    EXPECT_EQ(page->r + page->g, 0);
    // The logos reloaded top-left anchored, at half size.
    std::vector<DrawRecord> images;
    for (const DrawRecord& r : draws)
        if (r.kind == DrawKind::Image) images.push_back(r);
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].image, display.Logo);
    EXPECT_EQ(images[1].image, display.Palvex);
    EXPECT_FLOAT_EQ(images[1].x, 384);
    EXPECT_FLOAT_EQ(images[1].y, 224);
    EXPECT_FLOAT_EQ(images[0].sx, 0.5f);
    EXPECT_EQ(ImageFrameWidth(display.Logo), 100);
    // Headings with their shadows.
    const DrawRecord* shadow = FindText(draws, "Thanks for Playing", 0);
    const DrawRecord* heading = FindText(draws, "Thanks for Playing", 1);
    ASSERT_NE(shadow, nullptr);
    ASSERT_NE(heading, nullptr);
    EXPECT_FLOAT_EQ(shadow->x, 2);
    EXPECT_FLOAT_EQ(shadow->y, 222);
    EXPECT_EQ(shadow->r + shadow->g + shadow->b, 0);
    EXPECT_FLOAT_EQ(shadow->alpha, 0.8f);
    EXPECT_FLOAT_EQ(heading->x, 0);
    EXPECT_FLOAT_EQ(heading->y, 220);
    EXPECT_EQ(heading->r + heading->g + heading->b, 3 * 255);
    EXPECT_EQ(heading->font, display.FontSet[6]);
    const DrawRecord* feedback = FindText(draws, "Send Feedback!", 1);
    ASSERT_NE(feedback, nullptr);
    EXPECT_FLOAT_EQ(feedback->x, 50);
    EXPECT_EQ(feedback->font, display.FontSet[7]);
    const DrawRecord* free = FindText(draws, "This Game is Free");
    ASSERT_NE(free, nullptr);
    EXPECT_EQ(free->font, display.FontSet[8]);
    EXPECT_EQ(free->r, 180);
    const DrawRecord* last = FindText(draws, "saying thanks to their developers.");
    ASSERT_NE(last, nullptr);
    EXPECT_FLOAT_EQ(last->x, 270);
    EXPECT_FLOAT_EQ(last->y, 184);
    EXPECT_EQ(last->font, display.FontSet[9]);
    EXPECT_NE(FindText(draws, "A comment, an email, a vote."), nullptr);
}

TEST_F(ClosingTest, AltF4HeldFromBeforeEndsAtOnce) {
    Start("0 down 164\n0 down 115\n");
    EXPECT_EQ(Close(), 0);
    EXPECT_LT(Millis(), 100);
}

TEST_F(ClosingTest, TheWindowsCloseControlEndsIt) {
    Start("200 close\n");
    EXPECT_EQ(Close(), 0);
    EXPECT_GE(Millis(), 200);
}

TEST_F(ClosingTest, ASignalToEndSavesAtTheNextFrameAndEndsWithoutThePage) {
    // No input at all: without the signal the program would wait on the page.
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        Start("10 mouse 5 5\n");
        CatchEndSignals();
        std::raise(number);
        int status = -1;
        try {
            EndFrame(0);
        } catch (const ProcessEnded& ended) {
            status = ended.status;
        }
        EXPECT_EQ(status, 0) << number;
        EXPECT_TRUE(FileExists(root + "Setup.ini")) << number;
        EXPECT_TRUE(FileExists(root + GameFolder() + "scores.dat")) << number;
        EXPECT_EQ(FindText(RecordedDraws(), "Thanks for Playing"), nullptr) << number;
        EXPECT_LT(Millis(), 1000) << number;
        TearDown();
    }
}

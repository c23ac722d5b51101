// startup_test.cpp - start-up pieces on the doubles: the tables and their
// defaults, credits, names, the command line, the loading pause, and the title
// screen's credits panel, hint, difficulty choice, start lock and Escape.
#include "app/app.h"
#include "app/cmdline.h"
#include "draw/draw.h"
#include "platform/recording.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"
#include "ui/ui.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

// Runs ParseCommandLine over the words (the program name is added).
int Parse(std::vector<std::string> words, PlatformConfig& config, std::string& filesDir) {
    words.insert(words.begin(), "zorvek-plon");
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), config, filesDir);
}

class TitleTest : public ::testing::Test {
  protected:
    // Doubles with an input script, an 800 x 600 display drawing 1280 x 960.
    void Start(const std::string& script) {
        std::string dir = MakeTempDir("title");
        std::filesystem::create_directory(dir + "251");
        WriteWholeFile(dir + "input.script", script);
        PlatformConfig config;
        config.scriptPath = dir + "input.script";
        StartDoubles(config);
        ASSERT_TRUE(ChangeDir(dir + "251/"));
        ASSERT_TRUE(OpenDisplay(800, 600, 0, 60));
        SetLogicalSize(1280, 960);
        CreateProgramTables();
        FillCreditLines();
        shell.AudioDriverList = AudioDriverNames();
        frame.ShowStats = 0;
        frame.LastFrameEnd = Millis();
        PumpInput();
    }
    void TearDown() override { PlatformShutdown(); }

    // Records of the frame just finished (between the last two Flips). They are
    // kept until the next call, so a record found in them may be held that long.
    static const std::vector<DrawRecord>& LastFrame() {
        static std::vector<DrawRecord> out;
        const auto& all = RecordedDraws();
        out.clear();
        int flips = 0;
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->kind == DrawKind::Flip && ++flips == 2) break;
            out.insert(out.begin(), *it);
        }
        return out;
    }
    // The credits panel's translucent black background in the frame's draws.
    static const DrawRecord* Panel(const std::vector<DrawRecord>& draws) {
        for (const DrawRecord& r : draws)
            if (r.kind == DrawKind::Rect && r.h == 422 && r.r == 0 && r.b == 0 && r.alpha > 0.59f &&
                r.alpha < 0.61f)
                return &r;
        return nullptr;
    }
    static const DrawRecord* Text(const std::vector<DrawRecord>& draws, const std::string& text) {
        for (const DrawRecord& r : draws)
            if (r.kind == DrawKind::Text && r.text == text) return &r;
        return nullptr;
    }
};

} // namespace

TEST(StartUp, NamesAndCredits) {
    EXPECT_EQ(TitleText(), "#251 : Zorvek Plon");
    EXPECT_EQ(GameTitle(), "Zorvek Plon");
    EXPECT_EQ(GameFolder(), "251/");
    FillCreditLines();
    EXPECT_EQ(shell.CreditCount, 17);
    EXPECT_EQ(shell.CreditLines[1], "A Game by Brannoch");
    EXPECT_NE(shell.CreditLines[2].find(" | "), std::string::npos);
    EXPECT_EQ(shell.CreditLines[5], "Made with Kestrix");
    EXPECT_EQ(shell.CreditLines[9], "Font : SVBasicManual by Steve Matteson");
    EXPECT_EQ(shell.CreditLines[10], "Font : Blue Highway by Ryoichi Tsunekawa");
    EXPECT_EQ(shell.CreditLines[11], "Font : Acknowledge TT by Fontworks");
    EXPECT_EQ(shell.CreditLines[16], "Sound Effects by Brannoch");
    EXPECT_EQ(shell.CreditLines[17], "");
    for (int blank : {3, 7, 13}) EXPECT_EQ(shell.CreditLines[blank], "") << blank;
    // Filling again does not run on past the sixteen lines.
    FillCreditLines();
    EXPECT_EQ(shell.CreditCount, 17);
}

TEST(StartUp, TablesStartWithTheirDefaults) {
    StartDoubles();
    shell.Settings[slot::GfxEngine] = 2;
    shell.Settings[40] = 9;
    shell.ControlBindings[50] = 12;
    sprites.SpriteBudget[3] = 77;
    shell.SoundBank[7] = 3;
    frame.Notices.push_back(Notice{});
    SleepMillis(123);
    CreateProgramTables();
    EXPECT_EQ(frame.LastFrameEnd, 123);
    EXPECT_EQ(shell.Settings[slot::Width], 800);
    EXPECT_EQ(shell.Settings[slot::Height], 600);
    EXPECT_EQ(shell.Settings[slot::MasterVolume], 50);
    EXPECT_EQ(shell.Settings[slot::SoundVolume], 50);
    EXPECT_EQ(shell.Settings[slot::MusicVolume], 50);
    EXPECT_EQ(shell.Settings[slot::GfxEngine], 0);
    EXPECT_EQ(shell.Settings[slot::AudioDriver], 0);
    EXPECT_EQ(shell.Settings[40], 0);
    const int bound[][2] = {{0, 38},  {3, 37},  {5, 39},  {8, 40},
                            {10, 90}, {11, 88}, {12, 67}, {13, 86}};
    int expected[101] = {};
    for (auto& b : bound) expected[b[0]] = b[1];
    for (int s = 0; s <= 100; ++s) EXPECT_EQ(shell.ControlBindings[s], expected[s]) << s;
    EXPECT_EQ(sprites.SpriteBudget[1], 50000);
    EXPECT_EQ(sprites.SpriteBudget[2], 50000);
    EXPECT_EQ(sprites.SpriteBudget[3], 0);
    EXPECT_EQ(shell.SoundBank[7], 0);
    EXPECT_TRUE(frame.Notices.empty());
    EXPECT_EQ(shell.JoystickCount, 0); // the doubles have no joystick plugged in
    PlatformShutdown();
}

// With no display at all, start-up ends the program with status 1, says why on
// stderr and in the log, and leaves no crash marker behind.
TEST(StartUp, WithoutAnyDisplayTheProgramEndsWithStatusOne) {
    StartDoubles();
    SetRecordedDisplayRefused(true);
    const std::string dir = MakeTempDir("no-display");
    shell.FilesDir = dir;
    int status = -1;
    testing::internal::CaptureStderr();
    try {
        StartUp();
    } catch (const ProcessEnded& ended) {
        status = ended.status;
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    // The audio probe may have written its own lines before; ours is the last.
    const std::string said = "zorvek-plon: no display could be opened with any engine or size: "
                             "cannot open the display (the recording back-end refuses it)\n";
    ASSERT_GE(err.size(), said.size()) << err;
    EXPECT_EQ(err.substr(err.size() - said.size()), said) << err;
    EXPECT_EQ(shell.DebugLog, 0); // closed, so everything logged is on disk
    const auto log = ReadLinesOf(dir + "Debug.txt");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "\tNo display could be opened with any engine or size : cannot open "
                          "the display (the recording back-end refuses it)");
    EXPECT_FALSE(PathExists(dir + "251/crash.dat"));
    PlatformShutdown();
}

TEST(StartUp, LoadingPictureStaysUntilTheMomentAndNoLonger) {
    StartDoubles();
    SleepMillis(700);
    WaitUntil(2500);
    EXPECT_GE(Millis(), 2500);
    EXPECT_LT(Millis(), 2510);
    int now = Millis();
    WaitUntil(100); // already past: no wait at all
    EXPECT_EQ(Millis(), now);
    PlatformShutdown();
}

TEST(StartUp, CommandLineIsReadIntoTheConfiguration) {
    std::string dir = MakeTempDir("cli");
    std::filesystem::create_directory(dir + "files");
    WriteWholeFile(dir + "ok.script", "100 press 27\n200 end\n");
    std::string cwd = std::filesystem::current_path().string();
    std::filesystem::current_path(dir);
    PlatformConfig config;
    std::string files;
    int status = Parse({"--headless", "--files", "files", "--script", "ok.script", "--record",
                        "rec.script", "--seed", "42", "--start-time", "2026-12-07 18:05:09"},
                       config, files);
    std::filesystem::current_path(cwd);
    EXPECT_EQ(status, -1);
    EXPECT_TRUE(config.headless);
    EXPECT_EQ(files, dir + "files/"); // made absolute against the caller's folder
    EXPECT_EQ(config.scriptPath, dir + "ok.script");
    EXPECT_EQ(config.recordPath, dir + "rec.script");
    EXPECT_EQ(config.seed, 42);
    EXPECT_EQ(config.startTime, "2026-12-07 18:05:09");

    PlatformConfig defaults;
    files.clear();
    EXPECT_EQ(Parse({}, defaults, files), -1);
    EXPECT_EQ(defaults.seed, -1); // from the clock
    EXPECT_FALSE(defaults.headless);
    EXPECT_EQ(files, "");

    for (std::vector<std::string> bad : {std::vector<std::string>{"--files"},
                                         {"--seed", "-3"},
                                         {"--seed", "4.5"},
                                         {"--start-time", "2026-12-07 18:05"},
                                         {"--start-time", "2026/12/07 18:05:09"},
                                         {"--record"},
                                         {"extra"}}) {
        PlatformConfig c;
        std::string f;
        EXPECT_EQ(Parse(bad, c, f), 2) << bad[0];
    }
}

TEST(StartUp, AScriptsZeroBytesEndLinesForTheCommandLineCheckToo) {
    using namespace std::string_literals;
    std::string dir = MakeTempDir("cli-zero");
    WriteWholeFile(dir + "played.script", "10 press 65\0"
                                          "20 end\n"s);
    WriteWholeFile(dir + "bad.script", "10 press 65\0junk\n"s);
    PlatformConfig config;
    std::string files;
    EXPECT_EQ(Parse({"--script", dir + "played.script"}, config, files), -1);
    EXPECT_EQ(Parse({"--script", dir + "bad.script"}, config, files), 2);
}

TEST_F(TitleTest, CreditsPanelSlidesInAtThirteenOnNarrowDisplays) {
    Start("");
    display.PhysicalWidth = 800;
    TitleState t;
    TitleFrame(t);
    auto frameDraws = LastFrame();
    const DrawRecord* rect = Panel(frameDraws);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->w, 416);
    EXPECT_EQ(rect->x, 10 - (416 - 13));
    EXPECT_EQ(rect->y, 960 - 430);
    for (int i = 0; i < 40; ++i) TitleFrame(t);
    EXPECT_EQ(t.slide, 32);
    frameDraws = LastFrame();
    rect = Panel(frameDraws);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->x, 10);
    const DrawRecord* first = Text(frameDraws, "A Game by Brannoch");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->y, 960 - 428);
    const DrawRecord* last = Text(frameDraws, "Sound Effects by Brannoch");
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->y, 960 - 428 + 15 * 20);
}

TEST_F(TitleTest, CreditsPanelIsNarrowerOnWideDisplays) {
    Start("");
    display.PhysicalWidth = 1024;
    TitleState t;
    TitleFrame(t);
    auto frameDraws = LastFrame();
    const DrawRecord* rect = Panel(frameDraws);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->w, 320);
    EXPECT_EQ(rect->x, 10 - (320 - 10));
}

TEST_F(TitleTest, SettingsHintBlinksOnlyAtTheDefaultWidth) {
    Start("");
    TitleState t;
    int yellow = 0, white = 0;
    for (int i = 0; i < 120; ++i) {
        TitleFrame(t);
        const DrawRecord* hint = Text(LastFrame(), "Hit [Tab] for settings");
        ASSERT_NE(hint, nullptr);
        if (hint->b == 0) yellow++;
        if (hint->b == 255) white++;
    }
    EXPECT_GT(yellow, 20);
    EXPECT_GT(white, 20);
    shell.Settings[slot::Width] = 1024;
    for (int i = 0; i < 120; ++i) {
        TitleFrame(t);
        const DrawRecord* hint = Text(LastFrame(), "Hit [Tab] for settings");
        ASSERT_NE(hint, nullptr);
        EXPECT_EQ(hint->b, 255);
    }
}

TEST_F(TitleTest, EscapeLeavesOnlyAfterARelease) {
    Start("0 down 27\n100 up 27\n200 down 27\n");
    TitleState t;
    t.escHeld = 1; // as when a round ended with Escape held
    while (Millis() < 90) {
        TitleFrame(t);
        EXPECT_EQ(t.quit, 0);
    }
    while (Millis() < 190) TitleFrame(t);
    EXPECT_EQ(t.escHeld, 0);
    EXPECT_EQ(t.quit, 0);
    while (Millis() < 220) TitleFrame(t);
    EXPECT_EQ(t.quit, 1);
}

TEST_F(TitleTest, DifficultyByArrowKeysWrapsAndByClick) {
    // Each arrow is held for one frame only: held, it would step every frame.
    Start("0 down 38\n10 up 38\n100 down 40\n110 up 40\n"
          "300 mouse 600 745\n310 down mouse1\n400 up mouse1\n");
    TitleState t;
    t.slide = 32;
    shell.GameMode = 0;
    TitleFrame(t); // up from Easy wraps to Hard
    EXPECT_EQ(shell.GameMode, 2);
    while (Millis() < 100) TitleFrame(t);
    TitleFrame(t); // down from Hard wraps to Easy
    EXPECT_EQ(shell.GameMode, 0);
    // "Medium" spans 540..740 x 730..770 once the screen has slid in.
    while (Millis() < 350) TitleFrame(t);
    EXPECT_EQ(shell.GameMode, 1);
    const DrawRecord* medium = Text(LastFrame(), "Medium");
    ASSERT_NE(medium, nullptr);
    EXPECT_FLOAT_EQ(medium->alpha, 1.0f);
    const DrawRecord* easy = Text(LastFrame(), "Easy");
    ASSERT_NE(easy, nullptr);
    EXPECT_FLOAT_EQ(easy->alpha, 0.5f);
}

TEST_F(TitleTest, StartIsLockedWhilePanelShowsOrButtonStillHeld) {
    Start("0 mouse 640 480\n10 down mouse1\n");
    TitleState t;
    t.slide = 32;
    // The settings panel is open: the click on "Click Here to Start" does nothing.
    frame.SettingsOpen = 1;
    panel.PanelOffset = 20;
    for (int i = 0; i < 10; ++i) TitleFrame(t);
    EXPECT_EQ(t.go, 1);
    EXPECT_EQ(t.slide, 32); // no round ran (a round resets the slide-in)
    EXPECT_EQ(frame.PauseState, 0);
    // Closed, but the button has been held since before a round ended.
    frame.SettingsOpen = 0;
    panel.PanelOffset = -300;
    t.held = 1;
    for (int i = 0; i < 10; ++i) TitleFrame(t);
    EXPECT_EQ(t.held, 1);
    EXPECT_EQ(t.slide, 32);
    const DrawRecord* start = Text(LastFrame(), "Click Here to Start");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->g, 255); // highlighted under the pointer
}

// settings_panel_test.cpp - the settings panel and its widgets on the doubles:
// sliding, option buttons, the resolution control, volume sliders, the audio
// driver, the joystick list, binding buttons and the bindings grid.
#include "draw/draw.h"
#include "input/bindings.h"
#include "platform/recording.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "ui/ui.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Texts drawn since the last clear of the recording.
std::vector<std::string> DrawnTexts() {
    std::vector<std::string> texts;
    for (const DrawRecord& d : RecordedDraws())
        if (d.kind == DrawKind::Text) texts.push_back(d.text);
    return texts;
}

bool Drew(const std::string& text) {
    std::vector<std::string> texts = DrawnTexts();
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

int CountDrawn(const std::string& text) {
    std::vector<std::string> texts = DrawnTexts();
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
}

// The first recorded text record with this text.
const DrawRecord* FindText(const std::string& text) {
    for (const DrawRecord& d : RecordedDraws())
        if (d.kind == DrawKind::Text && d.text == text) return &d;
    return nullptr;
}

class SettingsPanelTest : public ::testing::Test {
  protected:
    std::string dir;

    // Starts the doubles with an input script, fonts and icons loaded, in the
    // game folder of a fresh Files/ tree.
    void Start(const std::string& script = "") {
        dir = MakeTempDir("panel");
        std::ofstream(dir + "input.txt") << script;
        PlatformConfig config;
        config.scriptPath = dir + "input.txt";
        StartDoubles(config);
        ASSERT_TRUE(MakeDir(dir + "Files"));
        ASSERT_TRUE(MakeDir(dir + "Files/251"));
        ASSERT_TRUE(ChangeDir(dir + "Files/251"));
        std::string common = BuiltFilesDir() + "Common/";
        display.FontSet[2] = LoadFont(common + "SVBasicManual.ttf", 22);
        ASSERT_NE(display.FontSet[2], 0) << PlatformError();
        SetFont(display.FontSet[2]);
        SetCentreAnchoring(true);
        display.IconSheet = LoadImageSheet(common + "icons.png", 16, 16, 64, ImageMasked);
        display.IconSheetCrisp = LoadImageSheet(common + "icons.png", 16, 16, 64, ImageMasked);
        ASSERT_NE(display.IconSheetCrisp, 0) << PlatformError();
        SetDefaultSettings();
        SetDefaultBindings();
    }

    // Slides the panel fully open (ten frames).
    void Open() {
        frame.SettingsOpen = 1;
        for (int i = 0; i < 10; i++) SettingsPanel();
        ASSERT_EQ(panel.PanelOffset, 20);
    }

    // One panel frame at the given virtual time, with the pointer at x, y.
    void FrameAt(int ms, int x, int y) {
        if (Millis() < ms) SleepMillis(ms - Millis());
        frame.FrameMouseX = x;
        frame.FrameMouseY = y;
        ClearRecordedDraws();
        SettingsPanel();
    }
};

TEST_F(SettingsPanelTest, SlidesOpenAndClosedInTenFramesEach) {
    Start();
    frame.SettingsOpen = 1;
    for (int i = 1; i <= 10; i++) {
        ClearRecordedDraws();
        SettingsPanel();
        EXPECT_EQ(panel.PanelOffset, -300 + 32 * i);
        EXPECT_TRUE(Drew("Graphics")) << "frame " << i;
    }
    SettingsPanel();
    EXPECT_EQ(panel.PanelOffset, 20); // stays open

    frame.SettingsOpen = 0;
    for (int i = 1; i <= 10; i++) {
        ClearRecordedDraws();
        SettingsPanel();
        EXPECT_EQ(panel.PanelOffset, 20 - 32 * i);
        // The last step reaches -300 and draws nothing.
        EXPECT_EQ(Drew("Graphics"), i < 10) << "frame " << i;
    }
    ClearRecordedDraws();
    SettingsPanel();
    EXPECT_EQ(panel.PanelOffset, -300);
    EXPECT_TRUE(RecordedDraws().empty());
}

TEST_F(SettingsPanelTest, BackdropFollowsTheOffsetAndFreesTheSpriteBudget) {
    Start();
    sprites.SpriteBudget[1] = 100;
    sprites.SpriteBudget[2] = 100;
    sprites.DrawnSprites[1] = 100; // the screen below used the whole budget
    sprites.DrawnSprites[2] = 100;
    frame.SettingsOpen = 1;
    SettingsPanel();
    ClearRecordedDraws();
    SettingsPanel(); // offset -236
    const std::vector<DrawRecord>& draws = RecordedDraws();
    ASSERT_GE(draws.size(), 3u);
    EXPECT_EQ(draws[0].kind, DrawKind::Rect);
    EXPECT_EQ(draws[0].h, -236 + 300);
    EXPECT_EQ(draws[0].w, display.VirtualWidth);
    EXPECT_EQ(draws[1].h, -236 + 298);
    EXPECT_EQ(draws[2].y, -236 + 298); // the green edge line
    EXPECT_EQ(draws[2].g, 255);
    int icons = 0;
    for (const DrawRecord& d : draws)
        if (d.kind == DrawKind::Image) icons++;
    EXPECT_GT(icons, 4);
    EXPECT_LT(sprites.DrawnSprites[1], 100);
}

TEST_F(SettingsPanelTest, ClickingTheEngineButtonCyclesBackToOpenGL) {
    Start("500 press mouse1\n"
          "700 press mouse1\n");
    Open();
    shell.Settings[slot::GfxEngine] = 2;
    FrameAt(100, 30, 204 + 10);
    EXPECT_TRUE(Drew("DirectX 7"));
    EXPECT_TRUE(Drew("Backup"));
    FrameAt(520, 30, 214);
    EXPECT_EQ(shell.Settings[slot::GfxEngine], 0);
    FrameAt(540, 30, 214);
    EXPECT_TRUE(Drew("OpenGL"));
    EXPECT_TRUE(Drew("Optimum"));
    FrameAt(720, 30, 214);
    EXPECT_EQ(shell.Settings[slot::GfxEngine], 1);
    // The clicks changed no other option.
    EXPECT_EQ(shell.Settings[slot::Fullscreen], 0);
    EXPECT_EQ(shell.Settings[slot::SlowSystem], 0);
}

TEST_F(SettingsPanelTest, HoveredOptionGlowsAndShowsTheValuesIcon) {
    Start();
    Open();
    shell.Settings[slot::Fullscreen] = 1;
    FrameAt(100, 700, 700); // pointer away from every button
    int crispFrame = -1;
    for (const DrawRecord& d : RecordedDraws())
        if (d.kind == DrawKind::Image && d.y > 50 && d.y < 90 && d.x < 60) crispFrame = d.frame;
    EXPECT_EQ(crispFrame, 14); // the full-screen cell
    EXPECT_TRUE(Drew("Fullscreen"));

    // Over the label (right of the icon): icon and glow (additive) both drawn.
    FrameAt(120, 60, 50 + 16);
    int additive = 0;
    for (const DrawRecord& d : RecordedDraws())
        if (d.kind == DrawKind::Image && d.blend == BlendAdd && d.frame == 14) additive++;
    EXPECT_EQ(additive, 1);
}

TEST_F(SettingsPanelTest, OptionValuesOutsideTheLabelsShowTheFirstLabel) {
    Start("300 press mouse1\n");
    Open();
    for (int stray : {7, -4, 1000000}) {
        SCOPED_TRACE(stray);
        shell.Settings[slot::GfxEngine] = stray;
        shell.AudioDriverList = {"OpenAL Soft", "Silent"};
        shell.Settings[slot::AudioDriver] = stray;
        FrameAt(100, 700, 700);
        EXPECT_TRUE(Drew("OpenGL"));
        EXPECT_TRUE(Drew("OpenAL Soft"));
        // The icons are those of the first label: the engine button's
        // (drawn centred at 36, 220) and the driver button's (at 1016, 56).
        int engineCell = -1, driverCell = -1;
        for (const DrawRecord& d : RecordedDraws()) {
            if (d.kind != DrawKind::Image) continue;
            EXPECT_GE(d.frame, 0);
            EXPECT_LE(d.frame, 63);
            if (d.x == 36 && d.y == 220) engineCell = d.frame;
            if (d.x == display.VirtualWidth - 280 + 16 && d.y == 56) driverCell = d.frame;
        }
        EXPECT_EQ(engineCell, 18);
        EXPECT_EQ(driverCell, 24);
    }
    // A click on a stray value gives a value inside the labels.
    shell.Settings[slot::GfxEngine] = -4;
    FrameAt(320, 30, 214);
    EXPECT_GE(shell.Settings[slot::GfxEngine], 0);
    EXPECT_LE(shell.Settings[slot::GfxEngine], 2);
}

class ResolutionTest : public SettingsPanelTest {
  protected:
    // Three modes; the pointer below the resolution button, in its area.
    void Modes() {
        display.ModeCount = 3;
        int w[] = {0, 800, 1024, 1280}, h[] = {0, 600, 768, 960};
        for (int i = 1; i <= 3; i++) {
            display.ModeWidths[i] = w[i];
            display.ModeHeights[i] = h[i];
        }
    }
};

TEST_F(ResolutionTest, KeysAndClicksStepThroughTheModesAndWrap) {
    Start("200 press 39\n"
          "400 press mouse2\n"
          "600 press 37\n"
          "800 press mouse1\n"
          "1000 press 38\n");
    Open();
    Modes();
    shell.Settings[slot::ModeIndex] = 3;
    shell.Settings[slot::Width] = 1280;
    shell.Settings[slot::Height] = 960;
    const int x = 150, y = 150; // inside (20, 90) .. (220, 160), off the button's icon
    FrameAt(220, x, y);
    EXPECT_EQ(shell.Settings[slot::ModeIndex], 1);
    EXPECT_EQ(shell.Settings[slot::Width], 800);
    EXPECT_EQ(shell.Settings[slot::Height], 600);
    FrameAt(240, x, y);
    EXPECT_TRUE(Drew("800x600"));
    EXPECT_TRUE(Drew("Small (Bit blurry)"));

    FrameAt(420, x, y); // right click on mode 1 gives mode 3
    EXPECT_EQ(shell.Settings[slot::ModeIndex], 3);
    EXPECT_EQ(shell.Settings[slot::Height], 960);
    FrameAt(440, x, y);
    EXPECT_TRUE(Drew("1280x960"));
    EXPECT_TRUE(Drew("Native (Crisp, Clear)"));

    FrameAt(620, x, y); // Left: 3 -> 2
    EXPECT_EQ(shell.Settings[slot::ModeIndex], 2);
    EXPECT_EQ(shell.Settings[slot::Width], 1024);
    FrameAt(820, x, y); // left click: 2 -> 3
    EXPECT_EQ(shell.Settings[slot::ModeIndex], 3);
    FrameAt(1020, x, y); // Up: 3 -> 1
    EXPECT_EQ(shell.Settings[slot::ModeIndex], 1);
}

TEST_F(ResolutionTest, ArrowPressedAwayFromTheAreaDoesNotChangeTheMode) {
    Start("200 press 39\n");
    Open();
    Modes();
    shell.Settings[slot::ModeIndex] = 2;
    FrameAt(220, 700, 700); // pointer elsewhere when Right is pressed
    FrameAt(240, 150, 150); // then it moves over the resolution area
    EXPECT_EQ(shell.Settings[slot::ModeIndex], 2);
}

TEST_F(ResolutionTest, EmptyModeListChangesNothing) {
    Start("200 press 39\n"
          "400 press mouse1\n"
          "600 press mouse2\n"
          "800 press 40\n");
    Open();
    display.ModeCount = 0;
    shell.Settings[slot::ModeIndex] = 0;
    shell.Settings[slot::Width] = 1024;
    shell.Settings[slot::Height] = 768;
    for (int ms : {220, 420, 620, 820}) {
        FrameAt(ms, 150, 150);
        EXPECT_EQ(shell.Settings[slot::ModeIndex], 0);
        EXPECT_EQ(shell.Settings[slot::Width], 1024);
        EXPECT_EQ(shell.Settings[slot::Height], 768);
    }
    EXPECT_TRUE(Drew("1024x768"));
}

TEST_F(SettingsPanelTest, SliderDragsSnapToTheEnds) {
    Start("100 down mouse1\n");
    Open();
    const int x = display.VirtualWidth - 280; // the audio column
    // Master at y 90, Sounds at 140, Music at 190 (panel open at 20).
    FrameAt(150, x - 2 + 3, 95);
    EXPECT_EQ(shell.Settings[slot::MasterVolume], 0);
    FrameAt(170, x - 2 + 96, 145);
    EXPECT_EQ(shell.Settings[slot::SoundVolume], 100);
    FrameAt(190, x - 2 + 41, 195);
    EXPECT_EQ(shell.Settings[slot::MusicVolume], 41);
    EXPECT_TRUE(Drew("Music : 41"));
    EXPECT_EQ(shell.Settings[slot::MasterVolume], 0); // untouched by the others
    EXPECT_EQ(shell.Settings[slot::SoundVolume], 100);
}

// The setup file may hold any non-negative volume: the knob of a huge one lies
// past the right edge (not wrapped round to the left), and the panel's snap
// brings the value back to 100.
TEST_F(SettingsPanelTest, HugeVolumesFromTheSetupFileDrawTheKnobOffToTheRight) {
    Start();
    Open();
    shell.Settings[slot::MasterVolume] = 2147483647;
    shell.Settings[slot::SoundVolume] = 100000;
    shell.Settings[slot::MusicVolume] = 50;
    FrameAt(100, 0, 500);
    const int x = display.VirtualWidth - 280;
    std::vector<float> knobs;
    for (const DrawRecord& d : RecordedDraws())
        if (d.kind == DrawKind::Image && d.frame == 23) knobs.push_back(d.x);
    ASSERT_EQ(knobs.size(), 3u);
    EXPECT_GT(knobs[0], 2.0e9f);
    EXPECT_GT(knobs[1], 100000.0f);
    EXPECT_FLOAT_EQ(knobs[2], static_cast<float>(x + 50 - 9 + 8)); // centre of the 16-wide cell
    EXPECT_TRUE(Drew("Master Volume : 2147483647"));
    EXPECT_EQ(shell.Settings[slot::MasterVolume], 100);
    EXPECT_EQ(shell.Settings[slot::SoundVolume], 100);
    EXPECT_EQ(shell.Settings[slot::MusicVolume], 50);
}

// "Apply" where no display opens any more ends the program as start-up would:
// status 1 and the reason on stderr, after the setup file was written.
TEST_F(SettingsPanelTest, ApplyWithoutAnyDisplayEndsTheProgramWithStatusOne) {
    Start("200 press mouse1\n");
    Open();
    SetRecordedDisplayRefused(true);
    int status = -1;
    testing::internal::CaptureStderr();
    try {
        FrameAt(220, 25, 20 + 265); // on "Apply"
    } catch (const ProcessEnded& ended) {
        status = ended.status;
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(err.rfind("zorvek-plon: no display could be opened with any engine or size: ", 0), 0u)
        << err;
    EXPECT_EQ(frame.SettingsOpen, 0);
    EXPECT_TRUE(FileExists(dir + "Files/Setup.ini"));
}

TEST_F(SettingsPanelTest, TwoAudioDriversCycleAndAreWrittenToTheSetupFile) {
    Start("200 press mouse1\n"
          "400 press mouse1\n"
          "600 press mouse1\n");
    shell.AudioDriverList = {"OpenAL Soft", "Silent"};
    Open();
    const int x = display.VirtualWidth - 280;
    FrameAt(100, x + 10, 40 + 10);
    EXPECT_TRUE(Drew("Audio Driver"));
    EXPECT_TRUE(Drew("OpenAL Soft"));
    FrameAt(220, x + 10, 50);
    EXPECT_EQ(shell.Settings[slot::AudioDriver], 1);
    FrameAt(240, x + 10, 50);
    EXPECT_TRUE(Drew("Silent"));
    EXPECT_TRUE(Drew("Changes require a Restart"));
    WriteSetupFile();
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadTextLines(dir + "Files/Setup.ini", lines));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "AudioDriver = Silent"), lines.end());
    FrameAt(420, x + 10, 50);
    EXPECT_EQ(shell.Settings[slot::AudioDriver], 0);
}

TEST_F(SettingsPanelTest, ClickingAJoystickNameTogglesIt) {
    Start("200 press mouse1\n"
          "400 press mouse1\n");
    Open();
    shell.JoystickCount = 2;
    shell.JoystickNames[1] = "Pad One";
    shell.JoystickNames[2] = "Pad Two";
    shell.JoystickEnabled[1] = shell.JoystickEnabled[2] = 1;
    const int x = display.VirtualWidth - 280;
    // The list starts at y 250 when the panel is open; Pad Two at 265.
    FrameAt(100, x + 5, 270);
    const DrawRecord* two = FindText("Pad Two");
    ASSERT_NE(two, nullptr);
    EXPECT_EQ(two->y, 265);
    EXPECT_FLOAT_EQ(two->alpha, 1);
    FrameAt(220, x + 5, 270);
    EXPECT_EQ(shell.JoystickEnabled[2], 0);
    EXPECT_EQ(shell.JoystickEnabled[1], 1);
    FrameAt(240, x + 5, 270);
    two = FindText("Pad Two");
    ASSERT_NE(two, nullptr);
    EXPECT_FLOAT_EQ(two->alpha, 0.2f);
    EXPECT_FLOAT_EQ(FindText("Pad One")->alpha, 1);
    FrameAt(420, x + 5, 270);
    EXPECT_EQ(shell.JoystickEnabled[2], 1);
}

TEST_F(SettingsPanelTest, JoystickNameTurnsYellowWhileItsFirstButtonIsHeld) {
    Start("200 joy 1 button 0 1\n"
          "300 joy 1 button 0 0\n");
    Open();
    shell.JoystickCount = 1;
    shell.JoystickNames[1] = "Pad One";
    shell.JoystickEnabled[1] = 1;
    for (int ms : {100, 220, 320}) {
        SCOPED_TRACE(ms);
        FrameAt(ms, 700, 700);
        const DrawRecord* name = FindText("Pad One");
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(name->r, ms == 220 ? 255 : 80);
        EXPECT_EQ(name->g, 255);
        EXPECT_EQ(name->b, 80);
    }
}

TEST_F(SettingsPanelTest, MouseGamesShowNoBindingsGrid) {
    Start();
    shell.TitleInputMode = 1;
    Open();
    FrameAt(100, 700, 700);
    EXPECT_FALSE(Drew("?!"));
    EXPECT_FALSE(Drew("Up"));
    int padCells = 0;
    for (const DrawRecord& d : RecordedDraws())
        if (d.kind == DrawKind::Image && d.sx == 3.0f) padCells++;
    EXPECT_EQ(padCells, 0);
}

TEST_F(SettingsPanelTest, KeyboardGamesShowFourPadsOfBindings) {
    Start();
    shell.TitleInputMode = 0;
    Open();
    FrameAt(100, 1270, 950);
    // Player 1 has the default keys, the other three nothing bound.
    for (const char* name : {"Up", "Left", "Right", "Down", "Z", "X", "C", "V"})
        EXPECT_EQ(CountDrawn(name), 1) << name;
    EXPECT_EQ(CountDrawn("?!"), 24);
    // Player 1's "up" cell at (300, 30), label centred at (324, 54); player
    // 4's "down" cell at (700, 30 + 150 + 50).
    int cells = 0;
    bool p1Up = false, p4Down = false;
    for (const DrawRecord& d : RecordedDraws()) {
        if (d.kind != DrawKind::Image || d.sx != 3.0f || d.blend == BlendAdd) continue;
        cells++;
        if (d.x == 300 + 24 && d.y == 30 + 24) p1Up = true;
        if (d.x == 700 + 24 && d.y == 230 + 24) p4Down = true;
    }
    EXPECT_EQ(cells, 32);
    EXPECT_TRUE(p1Up);
    EXPECT_TRUE(p4Down);
}

class BindButtonTest : public SettingsPanelTest {
  protected:
    // Draws one binding button at (400, 400) with the pointer on it.
    void Button(int ms, int binding) {
        if (Millis() < ms) SleepMillis(ms - Millis());
        frame.FrameMouseX = 420;
        frame.FrameMouseY = 420;
        ClearRecordedDraws();
        BindButton(binding, 400, 400);
    }
    // The glow pass's alpha of the last button drawn.
    float GlowAlpha() {
        for (const DrawRecord& d : RecordedDraws())
            if (d.kind == DrawKind::Image && d.blend == BlendAdd) return d.alpha;
        return -1;
    }
};

TEST_F(BindButtonTest, BackspaceUnbindsAndAKeyBindsNamedFromTheNextFrame) {
    Start("200 down 8\n"
          "220 up 8\n"
          "400 down 65\n"
          "420 up 65\n"
          "600 down 66\n"
          "620 up 66\n");
    panel.PanelOffset = 20;
    shell.ControlBindings[0] = 38;
    Button(100, 0);
    EXPECT_TRUE(Drew("Up"));
    Button(210, 0);
    EXPECT_EQ(shell.ControlBindings[0], 0);
    Button(300, 0);
    EXPECT_TRUE(Drew("?!"));
    Button(410, 0);
    EXPECT_EQ(shell.ControlBindings[0], 65);
    EXPECT_TRUE(Drew("?!")); // this frame still shows what it held on entry
    Button(500, 0);
    EXPECT_TRUE(Drew("A"));
    EXPECT_FALSE(Drew("?!"));
    // Rebinding a bound key shows the new name at once.
    Button(610, 0);
    EXPECT_EQ(shell.ControlBindings[0], 66);
    EXPECT_TRUE(Drew("B"));
    EXPECT_FALSE(Drew("A"));
}

TEST_F(BindButtonTest, LowCodesAreIgnoredAndCaptureWaitsForTheOpenPanel) {
    Start("100 down 5\n"
          "150 up 5\n"
          "200 down 66\n"
          "300 up 66\n");
    panel.PanelOffset = 20;
    shell.ControlBindings[23] = 90;
    Button(120, 23);
    EXPECT_EQ(shell.ControlBindings[23], 90);
    panel.PanelOffset = -12; // still sliding
    Button(220, 23);
    EXPECT_EQ(shell.ControlBindings[23], 90);
    panel.PanelOffset = 0;
    Button(240, 23);
    EXPECT_EQ(shell.ControlBindings[23], 66);
}

TEST_F(BindButtonTest, LightsWhileItsInputIsHeldAndDrawsCellsByKind) {
    Start("200 down 90\n"
          "300 up 90\n");
    panel.PanelOffset = 20;
    shell.ControlBindings[10] = 90;
    // Pointer away: dark until Z is held.
    frame.FrameMouseX = 10;
    frame.FrameMouseY = 10;
    ClearRecordedDraws();
    BindButton(10, 400, 400);
    EXPECT_FLOAT_EQ(GlowAlpha(), 0);
    SleepMillis(210 - Millis());
    ClearRecordedDraws();
    BindButton(10, 400, 400);
    EXPECT_FLOAT_EQ(GlowAlpha(), 1);

    struct Case {
        int code, cell;
        float labelX, labelY;
        std::string label;
    };
    // Joystick 1: axis Y-, hat up, button 1; joystick 2 hat up; an unnamed component.
    std::vector<Case> cases = {{300, 9, 400, 400, "Y-"},
                               {320, 8, 400, 400, "Up"},
                               {331, 10, 424, 424, "1"},
                               {370, 8, 400, 400, "Up"},
                               {90, 3, 424, 424, "Z"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        shell.ControlBindings[11] = c.code;
        frame.FrameMouseX = 10;
        ClearRecordedDraws();
        BindButton(11, 400, 400);
        const DrawRecord* label = FindText(c.label);
        ASSERT_NE(label, nullptr);
        SetFont(display.FontSet[2]);
        EXPECT_EQ(label->x, c.labelX - MeasureText(c.label) / 2);
        EXPECT_EQ(label->y, c.labelY - TextLineHeight() / 2);
        bool cellDrawn = false;
        for (const DrawRecord& d : RecordedDraws())
            if (d.kind == DrawKind::Image && d.frame == c.cell && d.sx == 3.0f) cellDrawn = true;
        EXPECT_TRUE(cellDrawn);
    }
    for (int nothing : {2, 5, 255, 299, 315}) {
        SCOPED_TRACE(nothing);
        shell.ControlBindings[11] = nothing;
        ClearRecordedDraws();
        BindButton(11, 400, 400);
        EXPECT_TRUE(RecordedDraws().empty());
    }
}

} // namespace

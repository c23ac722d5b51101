// ui.h - the menus and overlays: pause menu, settings panel and its widgets,
// screenshots, the engine test and the closing screen.
#pragma once

#include <string>

// Pause menu: 1 when the player continues, 99 for "Quit".
int PauseMenu();

// Settings panel, slid down from the top by Tab on every screen.
struct PanelState {
    int PanelOffset = -300; // -300 hidden, 20 fully open
    int LeftClicks = 0, RightClicks = 0;
};
extern PanelState panel;

void SettingsPanel();
int OptionButton(int slot, int x, int y, int icon, const std::string& label0,
                 const std::string& label1 = "", const std::string& label2 = "",
                 const std::string& label3 = "", const std::string& label4 = "",
                 const std::string& label5 = "");
int VolumeSlider(int value, int x, int y, const std::string& label);
void BindButton(int binding, int x, int y);

void TakeScreenshot();
std::string ScreenshotName(); // the file name for a screenshot taken now

// Engine test: measures sprites per frame and sets the sprite budgets.
struct EngineTestState {
    int TargetFps = 60;
    int Best = 0;
};
extern EngineTestState engineTest;
void EngineTest(int targetFps, int spriteZoom);
// Draws the picture of one of its frames with n + 1 sprites (no EndFrame).
void DrawEngineTestFrame(int n, int spriteZoom);

// Saves everything, shows the thank-you page, waits for any input and ends the
// program with status 0.
[[noreturn]] void ClosingScreen();
// When a signal asked the program to end (EndSignal): saves what the closing
// screen saves and ends with status 0 at once, without the page.
void EndIfSignalled();
// Draws the thank-you page on the open 640 x 480 window and presents it.
void DrawClosingPage();

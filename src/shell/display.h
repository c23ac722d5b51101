// display.h - opening the display in the chosen mode and loading the assets
// that depend on it.
#pragma once

#include <string>
#include <vector>

struct DisplayState {
    std::vector<int> ModeWidths = std::vector<int>(2500), ModeHeights = std::vector<int>(2500);
    int ModeCount = 0; // entries 1..ModeCount are used
    int PhysicalWidth = 800, PhysicalHeight = 600;
    int VirtualWidth = 1280, VirtualHeight = 960;
    float FontScale[3] = {1, 1, 1};
    int FontSet[20] = {};
    int FontLadder[100] = {};
    int IconSheet = 0, IconSheetCrisp = 0;
    int Logo = 0, Palvex = 0; // "logo.png", "Palvex.png"
    int BadgeJingle = 0;      // "badgeget.wav"
    int BadgeSheet = 0, GameSheet = 0;
    bool AssetsLoadedOnce = false;
    bool ScoresLoadedOnce = false;
    // Base names of the first two typefaces' TrueType files in "Common/".
    std::string TypefaceOne = "SVBasicManual", TypefaceTwo = "Blue Highway";
    int EngineTestMillis = 0; // how long the last engine test took (for the benchmarks)
};
extern DisplayState display;

// Opens the display from the Settings table and loads every asset. False when
// no display could be opened at all, not even an 800 x 600 window: that is
// logged, PlatformError() says why, nothing is loaded and the caller decides.
[[nodiscard]] bool ApplyDisplaySettings();
// The way out when no display can be opened at all (start-up, the panel's
// Apply): says why on stderr, closes the debug log and ends with status 1.
[[noreturn]] void EndWithoutDisplay();
void LoadCommonAssets();
void LoadGameAssets();
void LoadGameSheet(); // "gfx.png" alone
void SelectLadderFont(int typeface, int step);
void DrawStripes(); // the diagonal blue stripes of the loading picture

// Steps of the set-up, exposed for tests.
void BuildModeList(); // ModeList from the reported modes; the stored size if offered
void ChooseFontScale(int physicalWidth); // FontScale from the physical width
int ScaledSize(int size, float factor);  // a font size scaled and truncated
void ChooseLogicalSize();                // VirtualWidth/Height and Widescreen

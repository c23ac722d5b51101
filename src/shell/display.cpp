// display.cpp - turning the display settings into an open display: the list of
// usable modes, engine and depth, the logical drawing size, and loading every
// asset that depends on the display (fonts, icons, logos, sounds, game sheet).
#include "shell/display.h"

#include "draw/draw.h"
#include "music/music.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "ui/ui.h"

#include <cstdio>
#include <string>

DisplayState display;

namespace {

const std::string Divider = "-=-=-=-=-=-=-=-=-=-=-=-=-=-";

// A number as three zero-padded digits ("007").
std::string threeDigits(int n) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d", n);
    return buf;
}

// True when the size has one of the shapes the game can fill: 16:10, 16:9 or 4:3.
bool usableShape(int width, int height) {
    return height == width * 10 / 16 || height == width * 9 / 16 || height == width * 3 / 4;
}

// Passes a loaded handle on; a picture, sound or font that did not load is
// named in the log (the game goes on without it).
int noteMissing(int handle, const std::string& file) {
    if (handle == 0) LogLine("\tCould not load " + file + " : " + PlatformError());
    return handle;
}

} // namespace

// Rebuilds ModeList from the modes the display reports; a mode matching the
// stored size becomes the current display size.
void BuildModeList() {
    display.ModeCount = 0;
    int total = CountDisplayModes();
    for (int i = 0; i < total; ++i) {
        DisplayMode m = DisplayModeAt(i);
        if (!usableShape(m.width, m.height)) continue;
        bool seen = false;
        for (int k = 1; k <= display.ModeCount && !seen; ++k)
            seen = display.ModeWidths[k] == m.width && display.ModeHeights[k] == m.height;
        if (seen) continue;
        if (display.ModeCount + 1 >= static_cast<int>(display.ModeWidths.size())) break;
        display.ModeCount++;
        display.ModeWidths[display.ModeCount] = m.width;
        display.ModeHeights[display.ModeCount] = m.height;
        if (m.width == shell.Settings[slot::Width] && m.height == shell.Settings[slot::Height]) {
            shell.Settings[slot::ModeIndex] = display.ModeCount;
            display.PhysicalWidth = m.width;
            display.PhysicalHeight = m.height;
        }
    }
}

namespace {

// Opens the display at the current size, or else an 800 x 600 window; false
// when even that cannot be opened.
bool openWithFallback(int depth) {
    if (OpenDisplay(display.PhysicalWidth, display.PhysicalHeight, depth, 60)) return true;
    LogLine("\tCould not open the display : " + PlatformError());
    if (OpenDisplay(800, 600, 0, 60)) {
        LogLine("\tFell back to an 800x600 window");
        display.PhysicalWidth = 800;
        display.PhysicalHeight = 600;
        shell.Settings[slot::Width] = 800;
        shell.Settings[slot::Height] = 600;
        shell.Settings[slot::Fullscreen] = 0;
        PostNotice("Could not open the display in this mode.", 1);
        return true;
    }
    LogLine("\tNo display could be opened with any engine or size : " + PlatformError());
    return false;
}

// Frees the handles a previous set-up loaded, before they are loaded anew.
void freeLoadedAssets() {
    for (int& f : display.FontSet) FreeFont(f), f = 0;
    for (int& f : display.FontLadder) FreeFont(f), f = 0;
    for (int* image : {&display.IconSheet, &display.IconSheetCrisp, &display.Logo, &display.Palvex,
                       &display.BadgeSheet})
        FreeImage(*image), *image = 0;
    FreeSound(display.BadgeJingle);
    display.BadgeJingle = 0;
    for (int& s : shell.SoundBank) FreeSound(s), s = 0;
}

// The loading splash: stripes, the two logos and the badge jingle.
void showSplash() {
    BeginFrame(1);
    ResetDrawState();
    DrawStripes();
    ResetDrawState();
    SetZoom(1.5f);
    float vw = static_cast<float>(display.VirtualWidth),
          vh = static_cast<float>(display.VirtualHeight);
    DrawImageFrame(display.Logo, 0.4f * vh, 0.3f * vh, 0);
    DrawImageFrame(display.Palvex, vw - 0.4f * vh, 0.7f * vh, 0);
    SetZoom(1);
    // In reals: the setup file may hold volumes whose integer product overflows.
    float volume = static_cast<float>(static_cast<double>(shell.Settings[slot::MasterVolume]) *
                                      shell.Settings[slot::SoundVolume] / 100.0 / 100.0);
    if (display.BadgeJingle != 0) {
        int channel = AllocChannel();
        CueSound(display.BadgeJingle, channel);
        SetVolume(channel, volume);
        SetPaused(channel, false);
        shell.Channels[1] = channel;
        shell.ChannelVolume[1] = volume;
    }
    Flip(-1);
}

} // namespace

// The font sizes for a physical width: larger on small displays so text stays legible.
void ChooseFontScale(int physicalWidth) {
    float f[3] = {1, 1, 1};
    if (physicalWidth < 900) f[0] = 1.2f, f[1] = 1.4f, f[2] = 1.8f;
    if (physicalWidth < 600) f[0] = 1.5f, f[1] = 2.0f, f[2] = 2.5f;
    for (int i = 0; i < 3; ++i) display.FontScale[i] = f[i];
}

// A font size scaled by a factor, truncated toward zero.
int ScaledSize(int size, float factor) {
    return static_cast<int>(static_cast<float>(size) * factor);
}

// Sets VirtualWidth x VirtualHeight and Widescreen from the physical size.
void ChooseLogicalSize() {
    int w = display.PhysicalWidth, h = display.PhysicalHeight;
    shell.Settings[slot::Widescreen] = 0;
    display.VirtualWidth = 1280;
    display.VirtualHeight = 960;
    if (h == w * 9 / 16) {
        shell.Settings[slot::Widescreen] = 1;
        display.VirtualWidth = 1600;
        display.VirtualHeight = 900;
        LogLine("\tWidescreen mode!");
    }
    if (h == w * 10 / 16) {
        shell.Settings[slot::Widescreen] = 1;
        display.VirtualWidth = 1440;
        display.VirtualHeight = 900;
        LogLine("\tWidescreen mode B (10:16)!");
    }
}

// Opens the display from the Settings table and loads every asset; false, with
// nothing loaded, when no display opens at all.
bool ApplyDisplaySettings() {
    BuildModeList();
    shell.Settings[slot::Width] = display.PhysicalWidth;
    shell.Settings[slot::Height] = display.PhysicalHeight;
    LogLine("");
    LogLine(Divider);
    LogLine("Applying Graphical Settings");
    if (display.AssetsLoadedOnce) {
        CloseDisplay();
        LogLine("\tChanged Graphics Mode ingame.");
    }
    if (FileExists("crash.dat") && shell.Settings[slot::GfxEngine] == 0)
        shell.Settings[slot::GfxEngine] = 1;
    int engine = shell.Settings[slot::GfxEngine];
    SetGraphicsEngine(engine);
    if (engine == 0) LogLine("\tUsing OpenGL Driver");
    if (engine == 1) LogLine("\tUsing DirectX 9 Driver");
    if (engine == 2) LogLine("\tUsing DirectX 7 Driver");
    int depth = 0;
    if (shell.Settings[slot::Fullscreen] == 1) {
        for (int d : {32, 24, 16}) {
            if (DisplayModeExists(display.PhysicalWidth, display.PhysicalHeight, d)) {
                depth = d;
                break;
            }
        }
        if (depth == 0) PostNotice("Can't set to fullscreen in this resolution.", 1);
    }
    LogLine("\tResolution : " + std::to_string(display.PhysicalWidth) + "x" +
            std::to_string(display.PhysicalHeight) + "," + std::to_string(depth));
    int marker = CreateTextFile("crash.dat");
    if (marker == 0) LogLine("	Could not create crash.dat: " + PlatformError());
    CloseTextFile(marker);
    if (!openWithFallback(depth)) {
        // The failure was handled, so the next start must not take it for a crash.
        DeleteFile("crash.dat"); // leaves PlatformError() as it is
        return false;
    }
    if (!DisplayDriverReport().empty()) LogLine("\tDriver : " + DisplayDriverReport());
    ChooseLogicalSize();
    SetLogicalSize(display.VirtualWidth, display.VirtualHeight);
    LoadCommonAssets();
    LoadGameAssets();
    LogLine(Divider);
    DeleteFile("crash.dat");
    return true;
}

// Fonts, icons, logos and the badge jingle from "Common/", then the game's own
// badges, sound effects and (once per run) the score table.
void LoadCommonAssets() {
    SetCentreAnchoring(true);
    LogLine("");
    LogLine("Loading : Common Objects");
    LogLine("");
    LogLine("Switching to Default Folder");
    LogLine("");
    // Without a "Common/" folder the assets stay empty; the files folder is
    // reached by its path, never by "..", so a wrong current folder cannot
    // send the game elsewhere.
    const std::string files = FilesFolderPath();
    bool inCommon = !files.empty() && ChangeDir(files + "Common/");
    if (!inCommon) LogLine("\tNo Common folder in " + (files.empty() ? CurrentDir() : files));
    freeLoadedAssets();

    LogLine("\tDefault Fonts");
    ChooseFontScale(display.PhysicalWidth);
    const float f1 = display.FontScale[0], f2 = display.FontScale[1];
    const std::string face[4] = {"", display.TypefaceOne + ".ttf", display.TypefaceTwo + ".ttf",
                                 "Acknowledge TT BRK.ttf"};
    struct FontSlot {
        int typeface, size;
        float scale;
    };
    const FontSlot slots[14] = {{0, 0, 0},   {1, 24, f1}, {1, 16, f2}, {1, 16, f2}, {1, 20, f1},
                                {2, 96, f1}, {2, 72, f1}, {2, 32, f1}, {1, 32, f1}, {1, 14, f1},
                                {3, 112, 1}, {3, 96, 1},  {3, 32, 1},  {3, 20, 1}};
    // The first failure of each typeface, kept as it happens: by the end of the
    // loading the platform's last error is about whichever file failed last.
    std::string fontError[4];
    auto loadFace = [&](int typeface, int size) {
        int font = LoadFont(face[typeface], size);
        if (font == 0 && fontError[typeface].empty()) fontError[typeface] = PlatformError();
        return font;
    };
    for (int i = 1; i <= 13; ++i)
        display.FontSet[i] = loadFace(slots[i].typeface, ScaledSize(slots[i].size, slots[i].scale));
    const int ladder[9] = {8, 12, 18, 24, 32, 40, 52, 64, 96};
    for (int t = 1; t <= 3; ++t)
        for (int step = 0; step <= 8; ++step)
            display.FontLadder[(t - 1) * 10 + step] = loadFace(t, ScaledSize(ladder[step], f1));
    // One line per typeface that is missing or unreadable, not one per size.
    for (int t = 1; t <= 3; ++t)
        if (!fontError[t].empty()) LogLine("\tCould not load " + face[t] + " : " + fontError[t]);

    LogLine("\tDefault Icons");
    display.IconSheet = noteMissing(
        LoadImageSheet("icons.png", 16, 16, 64, ImageMasked | ImageFiltered), "icons.png");
    display.IconSheetCrisp = LoadImageSheet("icons.png", 16, 16, 64, ImageMasked);
    LogLine("\tLogos");
    display.Logo = noteMissing(LoadImage("logo.png", ImageMasked | ImageFiltered), "logo.png");
    display.Palvex =
        noteMissing(LoadImage("Palvex.png", ImageMasked | ImageFiltered), "Palvex.png");
    LogLine("\tBadgeGet");
    display.BadgeJingle = noteMissing(LoadSound("badgeget.wav"), "badgeget.wav");
    if (!display.AssetsLoadedOnce) {
        showSplash();
        display.AssetsLoadedOnce = true;
    }

    LogLine("");
    LogLine("Switching to Game Folder");
    if (inCommon && !ChangeDir(files + GameFolder()))
        LogLine("\tCannot change back into the game folder: " + PlatformError());
    display.BadgeSheet = noteMissing(
        LoadImageSheet("badges.png", 64, 64, 16, ImageMasked | ImageFiltered), "badges.png");
    LogLine("");
    LogLine("Loading Sound effects");
    for (int n = 1; n <= 200; ++n) {
        std::string name = threeDigits(n) + ".wav";
        if (!FileExists(name)) continue;
        LogLine("\tSFX(" + std::to_string(n) + ")");
        shell.SoundBank[n] = noteMissing(LoadSound(name), name);
    }
    LogLine("Sounds loaded");
    LogLine("");
    // Read the table only once: a re-apply must not drop rounds not yet saved.
    if (!display.ScoresLoadedOnce) {
        // Replays of rounds the table may hold but were not read stay on disk.
        bool whole = LoadScores() && !FileExists("scores.dat.full");
        AttachReplays(whole);
        display.ScoresLoadedOnce = true;
    }
}

// The engine test, the music stems and the game's sprite sheet.
void LoadGameAssets() {
    int started = Millis();
    EngineTest(60, 2);
    display.EngineTestMillis = Millis() - started;
    LoadMusicStems();
    LoadGameSheet();
}

// The game's sprite sheet "gfx.png" (again).
void LoadGameSheet() {
    FreeImage(display.GameSheet);
    display.GameSheet =
        noteMissing(LoadImageSheet("gfx.png", 16, 16, 64, ImageMasked | ImageFiltered), "gfx.png");
}

// Makes a size step of one of the three typefaces the current font.
void SelectLadderFont(int typeface, int step) {
    if (typeface < 1 || typeface > 3) typeface = 1;
    if (step < 0 || step > 8) step = 0;
    SetFont(display.FontLadder[(typeface - 1) * 10 + step]);
}

// The shared background of adjoining diagonal stripes, each a little bluer;
// leaves the turn at -45 degrees for the caller to reset.
void DrawStripes() {
    float blue = 50;
    SetTurn(-45);
    for (int y = 0; y <= display.VirtualHeight; y += 10) {
        blue += 0.5f;
        SetTint(0, 0, blue);
        DrawRect(-100, static_cast<float>(y * 3), static_cast<float>(display.VirtualWidth + 1800),
                 30);
    }
}

// Says why no display could be opened and ends the program with status 1.
void EndWithoutDisplay() {
    std::fprintf(stderr, "zorvek-plon: no display could be opened with any engine or size: %s\n",
                 PlatformError().c_str());
    CloseTextFile(shell.DebugLog);
    shell.DebugLog = 0;
    EndProcess(1);
}

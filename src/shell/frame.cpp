// frame.cpp - the end of every frame on every screen: global hot-keys, the
// settings panel, the statistics overlay, the pointer, mouse sampling, pacing
// to about 60 frames per second, the music tick, the notices, presenting and
// the frame-rate measurement.
#include "shell/frame.h"

#include "draw/draw.h"
#include "music/music.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/shell.h"
#include "ui/ui.h"

#include <string>

FrameState frame;

namespace {

// The statistics overlay: frame rate, memory figures and sprite tallies.
void drawStats() {
    SetTint(255, 255, 255, 1);
    SetFont(display.FontSet[1]);
    DrawTextAligned(2, 2, std::to_string(frame.FrameRate), 0, 0);
    SetFont(display.FontSet[2]);
    DrawTextAligned(2, 40, "Collection : " + std::to_string(frame.LastCollection), 0, 0);
    DrawTextAligned(2, 60, "Used Memory : " + std::to_string(MemoryInUse()), 0, 0);
    const char* names[4] = {"", "Drawn Images : ", "Drawn Glow : ", "Drawn Particles : "};
    for (int kind = 1; kind <= 3; ++kind) {
        std::string line = names[kind] + std::to_string(sprites.DrawnSprites[kind]) + "/" +
                           std::to_string(sprites.SpriteBudget[kind]);
        DrawTextAligned(2, 60 + kind * 20, line, 0, 0);
    }
    DrawTextAligned(2, 150, "Hit F12 to remove this", 0, 0);
}

// Sleeps in 1 ms steps until about a sixtieth of a second has passed since the
// previous frame ended (2 ms of slack), always at least once.
void pace() {
    int now = 0;
    do {
        SleepMillis(1);
        now = Millis();
    } while (now < frame.LastFrameEnd - 2 + 1000.0 / 60.0);
}

} // namespace

// The pop-up lines at the bottom left, oldest lowest; each lives 180 frames,
// highlighted for its first 59.
void DrawNotices() {
    int y = display.VirtualHeight - 16;
    SetDrawScale(1, 1);
    SetFont(display.FontSet[3]);
    for (auto it = frame.Notices.begin(); it != frame.Notices.end();) {
        Notice& n = *it;
        n.tick = n.tick + 1;
        if (n.tick < 60)
            SetTint(255, 255, 0, 0.7f);
        else
            SetTint(0, 0, 0, 0.7f);
        DrawRect(0, static_cast<float>(y), static_cast<float>(MeasureText(n.txt)),
                 static_cast<float>(TextLineHeight()));
        if (n.tick < 60)
            SetTint(0, 0, 0, 1);
        else
            SetTint(255, 255, 255, 1);
        DrawTextAligned(0, y, n.txt, 0, 0);
        y -= 14;
        if (n.tick == 180)
            it = frame.Notices.erase(it);
        else
            ++it;
    }
}

// True when this frame is shown: always, or every other frame on a slow system.
bool FramePresented() {
    return shell.Settings[slot::SlowSystem] == 0 || frame.FrameParity == 0;
}

// 1 when the point lies strictly inside the rectangle (edges are outside).
static int pointInRect(int px, int py, int x, int y, int w, int h) {
    return (x < px && px < x + w && y < py && py < y + h) ? 1 : 0;
}

// Whether this frame's mouse position is strictly inside the rectangle.
int MouseInRect(int x, int y, int w, int h) {
    return pointInRect(frame.FrameMouseX, frame.FrameMouseY, x, y, w, h);
}

// Whether the previous frame's mouse position was strictly inside the rectangle.
int PrevMouseInRect(int x, int y, int w, int h) {
    return pointInRect(frame.PrevMouseX, frame.PrevMouseY, x, y, w, h);
}

// Queues a one-line pop-up at the bottom left of the screen.
void PostNotice(const std::string& text, int c) {
    frame.Notices.push_back(Notice{0, text, c});
}

// Ends the current frame; returns the pause menu's result when it ran.
int EndFrame(int showPointer) {
    int result = 0;
    DrawScorePopups();
    if (KeyPressCount(KeyTab) != 0) {
        frame.SettingsOpen = 1 - frame.SettingsOpen;
        WriteSetupFile();
    }
    if (frame.FrameParity == 1) frame.LastCollection = CollectMemory();
    if (FramePresented()) {
        if (KeyPressCount(KeyF11) != 0) TakeScreenshot();
        if (IsKeyDown(KeyEscape) && frame.PauseState == 1) {
            frame.PauseState = 2;
            result = PauseMenu();
            frame.PauseState = 1;
        }
    }
    SettingsPanel();
    ResetDrawState();
    SetDrawScale(1.5f, 1.5f);
    SetFont(display.FontSet[1]);
    if (KeyPressCount(KeyF12) != 0) frame.ShowStats = 1 - frame.ShowStats;
    if (frame.ShowStats == 1) drawStats();
    if (showPointer == 1 || frame.SettingsOpen == 1)
        DrawImageFrame(display.IconSheet, LogicalMouseX() + 12, LogicalMouseY() + 12, 63);
    frame.PrevMouseX = frame.FrameMouseX;
    frame.PrevMouseY = frame.FrameMouseY;
    frame.FrameMouseX = static_cast<int>(LogicalMouseX());
    frame.FrameMouseY = static_cast<int>(LogicalMouseY());
    pace();
    MusicTick();
    DrawNotices();
    if (FramePresented())
        Flip(0);
    else
        SkipFlip();
    int frameMs = Millis() - frame.LastFrameEnd;
    if (frameMs < 1) frameMs = 1; // pacing keeps it at 15 or more; never divide by zero
    frame.FrameRate = (1000 / frameMs + 2 * frame.FrameRate) / 3;
    frame.LastFrameEnd = Millis();
    frame.FrameParity = 1 - frame.FrameParity;
    sprites.FrameShown = FramePresented();
    bool altF4 = IsKeyDown(KeyF4) && (IsKeyDown(KeyLeftAlt) || IsKeyDown(KeyRightAlt));
    if (altF4 || CloseRequested()) {
        if (frame.ScreenTakesClose)
            frame.CloseAsked = true;
        else
            ClosingScreen();
    }
    EndIfSignalled(); // a round in progress ends as on the close request: unrecorded
    return result;
}

// frame.h - the frame driver: EndFrame, the global hot-keys, the statistics
// overlay, the notices and the pacing to about 60 frames per second.
#pragma once

#include <list>
#include <string>

struct Notice {
    int tick = 0;
    std::string txt;
    int c = 0;
};

struct FrameState {
    int FrameParity = 0;
    int ShowStats = 1;
    int SettingsOpen = 0;
    int PauseState = 0; // 0 no game, 1 game running, 2 pause menu showing
    int FrameMouseX = 0, FrameMouseY = 0;
    int PrevMouseX = 0, PrevMouseY = 0;
    int FrameRate = 0;
    int LastFrameEnd = 0;
    int LastCollection = 0;
    std::list<Notice> Notices;
    // A screen that ends itself on the window's close request or Alt+F4 (the
    // replay viewer) sets ScreenTakesClose; EndFrame then sets CloseAsked
    // instead of running the closing screen.
    bool ScreenTakesClose = false;
    bool CloseAsked = false;
};
extern FrameState frame;

// Ends the frame; the pause menu's result when it ran this frame (RoundQuit
// for "Quit"), else 0.
int EndFrame(int showPointer);
void PostNotice(const std::string& text, int c);
// Whether this frame is presented: always, or only at parity 0 on a slow system.
// EndFrame hands the next frame's answer to the drawing toolkit (sprites.FrameShown).
bool FramePresented();
// Whether this (or the previous) frame's mouse position is strictly inside the rectangle.
int MouseInRect(int x, int y, int w, int h);
int PrevMouseInRect(int x, int y, int w, int h);
void DrawNotices(); // the notices' frame: drawn, aged, the old ones dropped

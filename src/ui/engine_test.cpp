// engine_test.cpp - measures how many sprites this machine draws per frame
// while holding the frame rate, behind the loading picture, and sets the
// per-frame sprite budgets (and the slow-system mode) from the result.
#include "draw/draw.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "ui/ui.h"

#include <string>

EngineTestState engineTest;

// The picture of one frame of the test: stripes, logos and n + 1 invisible sprites.
void DrawEngineTestFrame(int n, int spriteZoom) {
    const int width = display.VirtualWidth, height = display.VirtualHeight;
    BeginFrame(1);
    ResetDrawState();
    DrawStripes(); // the loading picture's diagonal blue stripes
    ResetDrawState();
    SetZoom(1.5f);
    DrawImageFrame(display.Logo, 0.3f * static_cast<float>(width),
                   0.3f * static_cast<float>(height), 0);
    DrawImageFrame(display.Palvex, 0.7f * static_cast<float>(width),
                   0.7f * static_cast<float>(height), 0);
    SetZoom(1);
    // Drawn fully transparent: they cost drawing time but show nothing.
    for (int i = 0; i <= n; ++i) {
        SetTurn(static_cast<float>(RandomInt(1, 360)));
        SetTint(0, 0, 0, 0);
        SetZoom(static_cast<float>(spriteZoom));
        int y = RandomInt(1, height);
        int x = RandomInt(1, width);
        DrawImageFrame(display.IconSheetCrisp, static_cast<float>(x), static_cast<float>(y), 0);
    }
}

namespace {

// One frame of the test, paced and presented.
void RunTestFrame(int n, int spriteZoom) {
    DrawEngineTestFrame(n, spriteZoom);
    EndFrame(0);
}

} // namespace

// Finds the largest sprite count that holds targetFps and sets the budgets from it.
void EngineTest(int targetFps, int spriteZoom) {
    frame.ShowStats = 0;
    const int target = shell.Settings[slot::SlowSystem] == 1 ? 30 : targetFps;
    engineTest.TargetFps = target;
    int* budget = sprites.SpriteBudget;
    budget[1] = 500;
    budget[2] = 500;
    budget[3] = 250;
    int best = 0;
    LogLine("Starting Engine Test");
    LogLine("Aiming for " + std::to_string(target) + "," + std::to_string(spriteZoom));
    for (int n = 500; n <= 20000; n += 500) {
        for (int f = 0; f < 8; ++f) RunTestFrame(n, spriteZoom);
        if (n > 500) { // the first batch only warms up
            if (frame.FrameRate >= target - 2) best = n;
            if (frame.FrameRate <= target - 2) n = 20000;
        }
    }
    engineTest.Best = best;
    LogLine("Test Complete");
    budget[1] = static_cast<int>(best * 0.4);
    budget[2] = static_cast<int>(best * 0.4);
    budget[3] = static_cast<int>(best * 0.2);
    LogLine("");
    LogLine("Engine Test Results");
    LogLine("");
    LogLine("\tMaximum Sprites Allowed for " + std::to_string(target) + " Frames Per Second");
    LogLine("\tMain sprites : " + std::to_string(budget[1]));
    LogLine("\tGlowy Sprites : " + std::to_string(budget[2]));
    LogLine("\tParticles : " + std::to_string(budget[3]));
    LogLine("");
    if (budget[1] < 1000) {
        budget[1] = 1000;
        engineTest.TargetFps = 30;
        shell.Settings[slot::SlowSystem] = 1;
    }
    if (budget[2] < 500) budget[2] = 500;
    if (budget[3] < 250) budget[3] = 250;
    if (engineTest.TargetFps == 30)
        LogLine("Settings Overwritten, Set to Default Lower Limits at 30fps.");
    LogLine("");
    frame.ShowStats = 0;
}

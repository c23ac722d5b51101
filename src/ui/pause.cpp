// pause.cpp - the pause menu that Escape opens during a round: the frozen game
// picture zooming and turning behind a storm of title words, with "Continue"
// and "Quit" entries.
#include "draw/draw.h"
#include "input/bindings.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "ui/ui.h"

#include <cmath>

namespace {

constexpr int StormSeed = 37171650;

// Sine of an angle in degrees.
float SinDeg(float degrees) {
    return std::sin(degrees * 3.14159265358979f / 180.0f);
}

// Sleeps in small steps until Escape is no longer held.
void WaitEscapeRelease() {
    while (IsKeyDown(KeyEscape)) SleepMillis(1);
}

// Whether control `control` of any of the four players is held.
bool AnyPlayerHolds(int control) {
    for (int p = 1; p <= 4; p++)
        if (ReadControl(control, p)) return true;
    return false;
}

bool UpHeld() {
    return AnyPlayerHolds(0) || IsKeyDown(KeyUp);
}
bool DownHeld() {
    return AnyPlayerHolds(8) || IsKeyDown(KeyDown);
}
bool FireHeld() {
    return AnyPlayerHolds(10) || AnyPlayerHolds(11) || IsKeyDown(KeySpace);
}

// Draws title words `first`..`last` of the storm, continuing the random sequence.
void DrawStorm(int first, int last, float turn) {
    const std::string title = GameTitle();
    for (int i = first; i <= last; i++) {
        SetTurn(turn + 2.0f * static_cast<float>(i));
        int blue = RandomInt(1, 5);
        int green = RandomInt(1, 5);
        int red = RandomInt(1, 5);
        SetTint(50.0f * red, 50.0f * green, 50.0f * blue, 0.4f);
        int y = RandomInt(0, display.VirtualHeight);
        int x = RandomInt(0, display.VirtualWidth);
        DrawTextAligned(x, y, title, 1, 1);
    }
}

// Draws one entry; highlighted when selected, where fire (after a release) chooses it.
void DrawEntry(const std::string& text, int index, int choice, int y, int selection, int& latch,
               int& result, bool fire) {
    int indent = 0;
    SetTint(255, 255, 255, 1);
    if (selection == index) {
        SetTint(255, 255, 0, 1);
        indent = 20;
        if (fire && latch == 0) {
            latch = 1;
            result = choice;
        }
    }
    int x = static_cast<int>(0.1f * static_cast<float>(display.VirtualWidth)) + indent + 10;
    DrawTextAligned(x, y, text, 0, 0);
}

// Sets the wobbling zoom of the backdrop and the storm for this phase.
void SetWobble(float phase) {
    SetZoom(1.5f + 0.5f * SinDeg(phase), 1.5f + 0.5f * SinDeg(1.3f * phase));
}

} // namespace

// Runs the pause menu until the player chooses; 1 to continue, 99 to quit.
int PauseMenu() {
    WaitEscapeRelease();

    int snapshot = CreateImage(display.PhysicalWidth, display.PhysicalHeight, 0);
    SetImageHandle(snapshot, static_cast<float>(display.PhysicalWidth / 2),
                   static_cast<float>(display.PhysicalHeight / 2));
    GrabImage(snapshot, 0, 0);

    int selection = 0, result = 0, latch = 1;
    float turn = 0, phase = 0;
    while (result == 0) {
        BeginFrame(1);
        ResetDrawState();
        SetBlendKind(1);
        phase += 0.4f;
        SetWobble(phase);
        turn += 0.1f;
        SetTurn(turn);
        SetFont(display.FontSet[7]);
        DrawImageFrame(snapshot, static_cast<float>(display.VirtualWidth / 2),
                       static_cast<float>(display.VirtualHeight / 2), 0);

        SeedRandom(StormSeed);
        DrawStorm(1, 140, turn);

        SetTurn(0);
        SetZoom(1);
        SetTint(0, 0, 0, 0.5f);
        DrawRect(0.1f * static_cast<float>(display.VirtualWidth),
                 0.375f * static_cast<float>(display.VirtualHeight),
                 static_cast<float>(display.VirtualWidth / 6),
                 static_cast<float>(display.VirtualHeight / 4));

        bool up = UpHeld(), down = DownHeld(), fire = FireHeld();
        if (up && latch == 0) {
            selection--;
            latch = 1;
        }
        if (down && latch == 0) {
            selection++;
            latch = 1;
        }
        if (!up && !down && !fire) latch = 0;

        int y = static_cast<int>(0.375f * static_cast<float>(display.VirtualHeight));
        SetTint(255, 255, 255);
        SetFont(display.FontSet[7]);
        if (selection < 0) selection = 1;
        y += 60;
        DrawEntry("Continue", 0, 1, y, selection, latch, result, fire);
        y += 60;
        DrawEntry("Quit", 1, 99, y, selection, latch, result, fire);
        if (selection > 1) selection = 0;

        SetWobble(phase);
        DrawStorm(141, 180, turn);

        EndFrame(1);
        if (IsKeyDown(KeyEscape)) result = selection == 1 ? 99 : 1;
    }

    SeedRandom(Millis());
    WaitEscapeRelease();
    FreeImage(snapshot);
    return result;
}

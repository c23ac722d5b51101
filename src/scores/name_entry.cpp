// name_entry.cpp - the name-entry screen after a round and the floating score
// numbers that rise and fade where points were scored.
#include "draw/draw.h"
#include "game/game.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"

namespace {

// Waits until Escape, Enter and the left button are all up, so a key still
// held from the game neither confirms the name nor reaches the next screen.
void waitForRelease() {
    while (IsKeyDown(KeyEscape) || IsKeyDown(KeyReturn) || IsMouseDown(1)) SleepMillis(10);
}

// The screen's diagonal red-to-blue stripes.
void drawBackground() {
    float b = 50;
    SetTurn(-45);
    for (int y = 0; y <= display.VirtualHeight; y += 10) {
        b += 0.5f;
        SetTint(100 - b, 0, b);
        DrawRect(-100, static_cast<float>(3 * y), static_cast<float>(display.VirtualWidth + 1800),
                 30);
    }
    ResetDrawState();
}

// Whether the name, centred with the cursor hanging past its end, stays
// within the screen in the name font.
bool fitsLine(const std::string& name) {
    SetFont(display.FontSet[5]);
    return MeasureText(name) + 2 * MeasureText("_") <= display.VirtualWidth;
}

// Applies this frame's typing to the name. "|" is refused: it separates the
// fields of "scores.dat" and would shift them when the record is read back.
// There is no length limit: every other character typed is kept.
void editName(std::string& name) {
    const int c = NextTypedChar();
    if (c >= 32 && c != '|') name += static_cast<char>(c);
    if (KeyPressCount(KeyBackspace) > 0 && !name.empty()) name.pop_back();
}

// The end of the name that fits the line: the whole name, or while it is
// longer than the line its end, where the typing goes on. The longest end
// that fits is found by halving, so a pasted page costs few measurements.
std::string visiblePart(const std::string& name) {
    if (fitsLine(name)) return name;
    size_t fits = name.size(), cut = 0; // name.substr(fits) fits, name.substr(cut) does not
    while (fits - cut > 1) {
        const size_t mid = cut + (fits - cut) / 2;
        if (fitsLine(name.substr(mid)))
            fits = mid;
        else
            cut = mid;
    }
    return name.substr(fits);
}

} // namespace

// Lets the player type the name the round is stored under, starting from the
// last one; Enter, the left button or Escape confirms (an empty name too).
void NameEntry() {
    FlushKeys();
    waitForRelease();
    std::string& name = scores.PlayerName;
    bool confirmed = false;
    while (!confirmed) {
        ClearScreen();
        drawBackground();
        editName(name);
        const int w = display.VirtualWidth, h = display.VirtualHeight;
        SetTint(0, 255, 0);
        SetFont(display.FontSet[6]);
        DrawTextAligned(w / 2, h / 2 - 100, "Enter Your Name", 1, 1);
        SetFont(display.FontSet[5]);
        const char* cursor = Millis() % 600 < 300 ? "_" : " ";
        const std::string shown = visiblePart(name);
        DrawTextAligned(w / 2 - MeasureText(shown) / 2, h / 2, shown + cursor, 0, 1);
        confirmed = KeyPressCount(KeyReturn) > 0 || IsMouseDown(1) || IsKeyDown(KeyEscape);
        EndFrame(1);
    }
    SeedRandom(Millis());
    waitForRelease();
}

// Scores points for the round and shows them as a number rising from (x, y).
void AddScorePopup(int points, float x, float y, int r, int g, int b) {
    game.RoundScore += points;
    ScorePopup p;
    p.n = points;
    p.x = x;
    p.y = y;
    p.t = 120;
    p.r = r;
    p.g = g;
    p.b = b;
    scores.Popups.push_back(p);
}

// Moves, fades and draws every floating number once; spent ones are removed.
void DrawScorePopups() {
    SetFont(display.FontSet[3]);
    ResetDrawState();
    for (auto it = scores.Popups.begin(); it != scores.Popups.end();) {
        ScorePopup& p = *it;
        p.t -= 1;
        p.y -= 0.25f;
        SetTint(static_cast<float>(p.r), static_cast<float>(p.g), static_cast<float>(p.b),
                static_cast<float>(p.t) / 120.0f);
        DrawTextAligned(static_cast<int>(p.x), static_cast<int>(p.y), std::to_string(p.n), 1, 1);
        if (p.t <= 0)
            it = scores.Popups.erase(it);
        else
            ++it;
    }
}

// closing.cpp - the program's way out: saves the setup file and the scores,
// shows a small thank-you and feedback page, waits for any input and ends.
#include "draw/draw.h"
#include "input/bindings.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/shell.h"
#include "ui/ui.h"

namespace {

constexpr int PageWidth = 640, PageHeight = 480;

// A heading with a black shadow 2 pixels right and down.
void DrawHeading(const std::string& text, int font, int x, int y) {
    SetFont(font);
    SetTint(0, 0, 0, 0.8f);
    DrawTextAligned(x + 2, y + 2, text, 0, 0);
    SetTint(255, 255, 255, 1);
    DrawTextAligned(x, y, text, 0, 0);
}

// Reloads a logo from the current folder, anchored at its top-left corner.
int ReloadLogo(int old, const std::string& file) {
    FreeImage(old);
    int image = LoadImage(file, ImageMasked | ImageFiltered);
    if (image == 0) LogLine("\tCould not load " + file + " for the closing page");
    SetImageHandle(image, 0, 0);
    return image;
}

// Whether the player has asked to leave the page.
bool LeaveRequested() {
    if (EndSignal() != 0) return true;
    if (PressedInputCode() > 0) return true;
    if (IsMouseDown(1) || IsMouseDown(2)) return true;
    if (IsKeyDown(KeyF4) && (IsKeyDown(KeyLeftAlt) || IsKeyDown(KeyRightAlt))) return true;
    return CloseRequested();
}

} // namespace

// Draws the thank-you page once and presents it.
void DrawClosingPage() {
    ClearScreen();
    SetTint(0, 0, 80, 1);
    DrawRect(0, 0, PageWidth, PageHeight);
    // The logos live in Common/; without it they are simply not drawn.
    std::string files = FilesFolderPath();
    if (files.empty() || !ChangeDir(files + "Common/"))
        LogLine("\tNo Common folder for the closing page");
    SetBlendKind(1);
    SetTint(255, 255, 255, 1);
    SetCentreAnchoring(false);
    display.Logo = ReloadLogo(display.Logo, "logo.png");
    display.Palvex = ReloadLogo(display.Palvex, "Palvex.png");
    SetZoom(0.5f);
    DrawImageFrame(display.Logo, 0, 0, 0);
    DrawImageFrame(display.Palvex, 384, 224, 0);
    SetZoom(1);
    DrawHeading("Thanks for Playing", display.FontSet[6], 0, 220);
    DrawHeading("Send Feedback!", display.FontSet[7], 50, 274);
    SetTint(180, 255, 255, 1);
    SetFont(display.FontSet[8]);
    DrawTextAligned(320, 4, "This Game is Free", 0, 0);
    SetFont(display.FontSet[9]);
    static const struct {
        int y;
        const char* text;
    } lines[] = {
        {44, "I do not ask for money."},
        {64, "I create these games for fun."},
        {84, "All I ask is that players send some feedback."},
        {104, "A comment, an email, a vote."},
        {134, "Do the right thing."},
        {164, "Support Homebrew games by"},
        {184, "saying thanks to their developers."},
    };
    for (const auto& line : lines) DrawTextAligned(270, line.y, line.text, 0, 0);
    Flip(-1);
}

namespace {

// The setup file and the score table, saved and logged on the way out.
void saveForClosing() {
    ShowSystemPointer(true);
    WriteSetupFile();
    SaveScores();
    LogLine("Closing Up");
    LogLine("");
    LogLine("Bye!");
    LogLine("");
    LogLine("Play again, soon!!");
    CloseDisplay();
}

// Closes the debug log and ends the program.
[[noreturn]] void endClosed() {
    CloseTextFile(shell.DebugLog);
    shell.DebugLog = 0;
    EndProcess(0);
}

} // namespace

// Saves everything first, shows the thank-you page until any input, then ends.
void ClosingScreen() {
    saveForClosing();
    if (OpenDisplay(PageWidth, PageHeight, 0, 60)) {
        SetLogicalSize(PageWidth, PageHeight);
        DrawClosingPage();
        while (!LeaveRequested()) SleepMillis(10);
        CloseDisplay();
    } else {
        // Everything is saved already; without a window there is no page to wait on.
        LogLine("\tNo window for the closing page: " + PlatformError());
    }
    endClosed();
}

// On a signal to end: what the closing screen saves, without its page.
void EndIfSignalled() {
    if (EndSignal() == 0) return;
    LogLine("");
    LogLine("Ending on signal " + std::to_string(EndSignal()));
    saveForClosing();
    endClosed();
}

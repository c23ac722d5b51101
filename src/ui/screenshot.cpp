// screenshot.cpp - F11: saving the current picture as a PNG file in the
// files folder, named from the title words, the date and the time.
#include "draw/draw.h"
#include "platform/platform.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "ui/ui.h"

// The file name for a screenshot taken now, e.g.
// "Zorvek Plon (Screenshot_07 Dec 2026_081403).png".
std::string ScreenshotName() {
    std::string name = std::string(GameTitleFirst) + " " + GameTitleSecond + " (Screenshot_" +
                       CurrentDateText() + "_" + CurrentTimeText() + ")";
    return SafeFileName(name) + ".png";
}

// Grabs the back buffer, shows a short message while the file is written, and
// tells the player whether it was saved.
void TakeScreenshot() {
    LogLine("");
    LogLine("\tScreenshot");
    // Screenshots go into the files folder, beside the game folder.
    std::string files = FilesFolderPath();
    if (files.empty()) LogLine("\tCould not find the files folder from " + CurrentDir());

    // Grab before anything else is drawn, so the message never shows in the file.
    LogLine("\tGrabbing Screenshot");
    Pixmap picture = GrabPixmap(0, 0, display.PhysicalWidth, display.PhysicalHeight);

    ResetDrawState();
    SetFont(display.FontSet[5]);
    DrawTextAligned(display.VirtualWidth / 2, display.VirtualHeight / 2 - 30, "Saving Screenshot",
                    1, 1);
    SetFont(display.FontSet[6]);
    DrawTextAligned(display.VirtualWidth / 2, display.VirtualHeight / 2 + 30,
                    "Sometimes, this takes a while!", 1, 1);
    Flip(-1);

    std::string name = ScreenshotName();
    LogLine("\tSaving Screenshot : " + name);
    bool saved = !files.empty() && SavePixmapPng(picture, files + name, 9);
    LogLine(std::string("\tSaved Screenshot ") + (saved ? "1" : "0"));
    LogLine("");

    // A failed write must not be reported to the player as a saved picture.
    PostNotice(saved ? "Saved Screenshot" : "Screenshot failed", 1);
}

// screenshot.cpp - saving the current picture as a PNG file.
#include "ui/ui.h"

// Grabs the back buffer and writes it as a PNG in the program's folder.
void TakeScreenshot() {}

// The file name for a screenshot taken now.
std::string ScreenshotName() {
    return "";
}

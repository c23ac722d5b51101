// shell.cpp - the program-wide tables with their sizes and defaults, the
// game's names and folder, and the debug log.
#include "shell/shell.h"

#include "draw/draw.h"
#include "music/music.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"

#include <cstdio>

ShellState shell;

// "#251 : Zorvek Plon": the window title and the log's heading.
std::string TitleText() {
    return "#" + std::to_string(GameNumber) + " : " + GameTitleFirst + " " + GameTitleSecond;
}

// The two title words.
std::string GameTitle() {
    return std::string(GameTitleFirst) + " " + GameTitleSecond;
}

// The game's numbered folder inside Files/, "251/".
std::string GameFolder() {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d/", GameNumber);
    return buf;
}

// The files folder by the path start-up entered, or as the game folder's parent.
std::string FilesFolderPath() {
    if (!shell.FilesPath.empty()) return shell.FilesPath;
    std::string here = CurrentDir();
    std::string name = "/" + GameFolder();
    name.pop_back(); // "/251"
    if (here.size() > name.size() &&
        here.compare(here.size() - name.size(), name.size(), name) == 0)
        return here.substr(0, here.size() - name.size() + 1);
    return "";
}

// Appends one line (and CR LF) to "Debug.txt".
void LogLine(const std::string& text) {
    WriteTextLine(shell.DebugLog, text);
}

// The default control keys: arrows for up/left/right/down, Z X C V for actions.
void SetDefaultBindings() {
    for (int& b : shell.ControlBindings) b = 0;
    shell.ControlBindings[0] = 38;
    shell.ControlBindings[3] = 37;
    shell.ControlBindings[5] = 39;
    shell.ControlBindings[8] = 40;
    shell.ControlBindings[10] = 90;
    shell.ControlBindings[11] = 88;
    shell.ControlBindings[12] = 67;
    shell.ControlBindings[13] = 86;
}

// The built-in settings the setup file may then override.
void SetDefaultSettings() {
    for (int& s : shell.Settings) s = 0;
    shell.Settings[slot::Width] = 800;
    shell.Settings[slot::Height] = 600;
    shell.Settings[slot::Fullscreen] = 0;
    shell.Settings[slot::SlowSystem] = 0;
    shell.Settings[slot::MasterVolume] = 50;
    shell.Settings[slot::SoundVolume] = 50;
    shell.Settings[slot::MusicVolume] = 50;
}

// Reads up to four joysticks: name, buttons, resting axes and whether the hat rests.
void ReadJoysticks() {
    int count = JoystickCount();
    if (count < 0) count = 0;
    if (count > MaxJoysticks) count = MaxJoysticks;
    shell.JoystickCount = count;
    for (int j = 1; j <= count; ++j) {
        int port = j - 1;
        shell.JoystickButtons[j] = JoystickButtonMask(port);
        shell.JoystickNames[j] = JoystickName(port);
        for (int axis = 0; axis < 6; ++axis) shell.JoystickRest[j][axis] = JoystickAxis(port, axis);
        shell.JoystickEnabled[j] = 1;
        shell.JoystickHatFlag[j] = JoystickHat(port) == -1.0f ? 1 : 0;
    }
}

// Creates every program-wide table with its size and defaults.
void CreateProgramTables() {
    music = MusicState{};
    frame.LastFrameEnd = Millis();
    sprites = SpriteTally{};
    sprites.SpriteBudget[SpriteKindMain] = 50000;
    sprites.SpriteBudget[SpriteKindGlow] = 50000;
    for (int& s : shell.Settings) s = 0;
    display.ModeCount = 0;
    display.ModeWidths.assign(2500, 0);
    display.ModeHeights.assign(2500, 0);
    for (int& f : display.FontSet) f = 0;
    for (int& f : display.FontLadder) f = 0;
    ReadJoysticks();
    for (auto& row : scores.TopTable) row = nullptr;
    scores.ScoreTable.clear();
    frame.Notices.clear();
    scores.Popups.clear();
    SetDefaultBindings();
    SetDefaultSettings();
    for (int& c : shell.Channels) c = 0;
    for (float& v : shell.ChannelVolume) v = 0;
    for (int& s : shell.SoundBank) s = 0;
}

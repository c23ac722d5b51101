// shell.cpp - the shell's program-wide state, the default settings and
// bindings, the game's names and folders, and the debug log.
#include "shell/shell.h"

#include "platform/platform.h"

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

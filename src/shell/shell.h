// shell.h - the program-wide tables made at start-up, the debug log and the
// setup file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr int GameNumber = 251;
inline constexpr const char* GameTitleFirst = "Zorvek";
inline constexpr const char* GameTitleSecond = "Plon";
inline constexpr const char* GameVersion = "1.0.0";

// Slots of the Settings table.
namespace slot {
enum {
    Fullscreen = 1,
    Widescreen = 2,
    GfxEngine = 3,
    ModeIndex = 4,
    Width = 5,
    Height = 6,
    SlowSystem = 7,
    MasterVolume = 11,
    SoundVolume = 12,
    MusicVolume = 13,
    AudioDriver = 14,
};
}

inline constexpr int MaxJoysticks = 4;

// Everything start-up creates that belongs to no narrower subsystem.
struct ShellState {
    int Settings[100] = {};
    int ControlBindings[101] = {};
    std::vector<std::string> AudioDriverList;
    std::string CreditLines[100];
    int CreditCount = 1;
    int GameMode = 0, Level = 0, GameFlags = 0;
    int TitleInputMode = 1;
    int ControlPlayers = 4;
    int BadgeCount = 16;
    int RoundBest[31] = {};
    // Joysticks, 1-based (entry 0 unused).
    int JoystickCount = 0;
    std::string JoystickNames[5];
    int JoystickEnabled[5] = {};
    float JoystickRest[5][6] = {}; // resting x, y, z, u, v, r
    int JoystickHatFlag[5] = {};
    uint32_t JoystickButtons[5] = {};
    // The shared sound-channel table and the volumes its channels started at.
    int Channels[260] = {};
    float ChannelVolume[260] = {};
    int SoundBank[201] = {};
    int DebugLog = 0;                // text-file handle of "Debug.txt"
    std::string FilesDir = "Files/"; // where Files/ is, relative to the program's folder
    std::string FilesPath;           // the files folder, absolute with "/", once entered
};
extern ShellState shell;

std::string TitleText();  // "#251 : Zorvek Plon"
std::string GameTitle();  // "Zorvek Plon"
std::string GameFolder(); // "251/"

// Exit status when the files folder or the game folder in it cannot be used
// (another copy of the game running on it included).
inline constexpr int ExitFilesFolderUnusable = 4;
// The file in the files folder that a running copy of the game holds locked.
inline constexpr const char* RunLockName = "Running.lock";
// A replay that does not play out the way its round was played (a determinism fault).
inline constexpr int ExitReplayDiverged = 5;
// A video that cannot be started, written or finished.
inline constexpr int ExitVideoFailed = 6;
// The files folder (absolute, ending in "/") that holds the game folder: the
// one start-up entered, else the parent of the current folder when that is the
// game folder; "" when unknown. Code that leaves the game folder goes there by
// this path, never by "..", so a missing game folder cannot send files elsewhere.
std::string FilesFolderPath();

void LogLine(const std::string& text);

// The built-in control keys and settings that the setup file may override.
void SetDefaultBindings();
void SetDefaultSettings();

void ReadSetupFile();
void WriteSetupFile();
// The setup file's lines for the current tables (what WriteSetupFile writes).
std::vector<std::string> SetupFileLines();
// The audio driver chosen when the setup file names none: the last "Direct..."
// name, else the first "OpenAL..." or "Free..." one; -1 when none fits.
int ChooseDefaultAudioDriver(const std::vector<std::string>& list);

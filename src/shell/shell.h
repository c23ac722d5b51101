// shell.h - the program-wide tables made at start-up, the debug log, the setup
// file and the program's main sequence.
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
};
extern ShellState shell;

std::string TitleText();  // "#251 : Zorvek Plon"
std::string GameTitle();  // "Zorvek Plon"
std::string GameFolder(); // "251/"

void LogLine(const std::string& text);

// Start-up tables with their sizes and defaults (step 2 of start-up).
void CreateProgramTables();
void FillCreditLines();
void SetDefaultBindings();
void SetDefaultSettings();
void ReadJoysticks();

void ReadSetupFile();
void WriteSetupFile();
// The setup file's lines for the current tables (what WriteSetupFile writes).
std::vector<std::string> SetupFileLines();
// The audio driver chosen when the setup file names none: the last "Direct..."
// name, else the first "OpenAL..." or "Free..." one; -1 when none fits.
int ChooseDefaultAudioDriver(const std::vector<std::string>& list);

// Reads the command line (see README) and runs the program; returns the exit
// status for a bad command line or a display that cannot be opened.
int ProgramMain(int argc, char** argv);
struct PlatformConfig;
// The command line into the platform's configuration and the files folder
// (absolute, ending in "/"; empty = Files/ beside the program). Returns -1 to
// go on, else the exit status (0 after --help/--version, 2 for a bad line).
int ParseCommandLine(int argc, char** argv, PlatformConfig& config, std::string& filesDir);

// Start-up up to the title screen (tables, log, setup file, display, assets);
// returns the Millis at which the loading picture has been up for 2.5 s.
int StartUp();
void WaitUntil(int millis); // sleeps until Millis() reaches the moment

// The whole program: start-up, title loop, closing screen. Does not return.
[[noreturn]] void RunProgram();
void TitleLoop();

// The title screen's state between frames.
struct TitleState {
    int slide = 0;   // 0..32, the slide-in of the screen
    int held = 0;    // a start is locked until the left button has been released
    int go = 0;      // the left button was held at the end of the last frame
    int escHeld = 0; // Escape still held from a round: not a request to quit
    int quit = 0;
};
void TitleFrame(TitleState& t); // one frame of the title screen, EndFrame included

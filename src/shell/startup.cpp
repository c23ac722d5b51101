// startup.cpp - the program's main sequence: the program-wide tables, the debug
// log, reading the setup file, opening the display, the loading pause, the
// title screen with its credits and start button, and the command line.
#include "shell/shell.h"

#include "draw/draw.h"
#include "game/game.h"
#include "game/replay_command.h"
#include "game/replay_view.h"
#include "input/bindings.h"
#include "music/music.h"
#include "platform/platform.h"
#include "platform/script.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "ui/ui.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

ShellState shell;

namespace {

const char* const Version = GameVersion;
const char* const Usage =
    "usage: zorvek-plon [--files DIR] [--headless] [--script FILE] [--record FILE] [--seed N]\n"
    "                   [--start-time \"YYYY-MM-DD HH:MM:SS\"] [--help] [--version]\n"
    "       zorvek-plon --replay FILE [--headless] [--video OUT.mp4|OUT.webm] [--size WxH]\n"
    "\n"
    "  --files DIR        read and write the game's files in DIR instead of Files/ beside\n"
    "                     the program\n"
    "  --headless         no window; everything is still drawn, off screen\n"
    "  --script FILE      play the input from FILE on a virtual clock; the program ends\n"
    "                     with status 3 when the script ends\n"
    "  --record FILE      write the live input to FILE as a script\n"
    "  --seed N           seed of the random numbers (default: from the clock)\n"
    "  --start-time T     the calendar moment at start, \"YYYY-MM-DD HH:MM:SS\"\n"
    "  --replay FILE      play a round's replay (from <files>/251/replays/); with --headless\n"
    "                     as fast as it goes, printing \"replay: score S, frames F\"\n"
    "  --video OUT        export the replay (or the --script run) as a video with its sound\n"
    "  --size WxH         the video's size (default: the setup file's display size)\n"
    "  --checksums FILE   write a checksum of the round's state for every round frame\n"
    "  --help             show this text\n"
    "  --version          show the title and version\n"
    "\n"
    "Exit status: 0 after the closing screen, 1 when no display can be opened,\n"
    "2 for a bad command line or replay, 3 when a script ended, 4 when a replay does not\n"
    "play out as it was played.\n";

const std::string Hyphens(28, '-');

// The platform's virtual key of the Escape key.
constexpr int KeyEscape = 27;

} // namespace

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

// Appends one line (and CR LF) to "Debug.txt".
void LogLine(const std::string& text) {
    WriteTextLine(shell.DebugLog, text);
}

// The credits shown on the title screen, lines 1-16; CreditCount ends one past the last.
void FillCreditLines() {
    const char* lines[] = {"A Game by Brannoch",
                           "brannoch.example | kestrix-engine.example",
                           "",
                           "Game",
                           "Made with Kestrix",
                           "using Brannoch's Framework",
                           "",
                           "Graphics",
                           "Font : SVBasicManual by Steve Matteson",
                           "Font : Blue Highway by Ryoichi Tsunekawa",
                           "Font : Acknowledge TT by Fontworks",
                           "All other graphics by Brannoch",
                           "",
                           "Sound",
                           "Title Music by Brannoch",
                           "Sound Effects by Brannoch"};
    for (auto& line : shell.CreditLines) line.clear();
    shell.CreditCount = 1;
    for (const char* line : lines) shell.CreditLines[shell.CreditCount++] = line;
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

// Start-up up to the title screen; returns the Millis at which the loading
// picture has been shown long enough.
int StartUp() {
    SetWindowTitle(TitleText());
    FillCreditLines();
    CreateProgramTables();

    if (!ChangeDir(shell.FilesDir)) {
        MakeDir(shell.FilesDir);
        if (!ChangeDir(shell.FilesDir))
            std::fprintf(stderr, "zorvek-plon: cannot enter the files folder %s\n",
                         shell.FilesDir.c_str());
    }
    shell.DebugLog = CreateTextFile("Debug.txt");
    if (shell.DebugLog == 0)
        std::fprintf(stderr, "zorvek-plon: cannot create Debug.txt: %s\n", PlatformError().c_str());
    for (const std::string& line :
         {std::string("Brannoch's Quorvat Engine"), Hyphens, "Week #" + std::to_string(GameNumber),
          Hyphens, TitleText(), Hyphens, std::string(), std::string("Loading")})
        LogLine(line);

    shell.AudioDriverList = AudioDriverNames();
    ReadSetupFile();
    LogLine("Grabbing Previous Scores");
    LogLine("");
    if (!ChangeDir(GameFolder())) {
        MakeDir(GameFolder());
        ChangeDir(GameFolder());
    }

    int readyAt = Millis() + 2500;
    ApplyDisplaySettings();
    shell.TitleInputMode = 1;
    shell.ControlPlayers = 4;
    shell.BadgeCount = 16;
    frame.PauseState = 0;
    for (int& b : shell.RoundBest) b = 0;
    LogLine("Finished Loading");
    game.Players.clear();
    game.Enemies.clear();
    game.GunPosts.clear();
    game.Bullets.clear();
    game.Splats.clear();
    return readyAt;
}

// Keeps the loading picture up until the given moment.
void WaitUntil(int readyAt) {
    for (int now = Millis(); now < readyAt; now = Millis()) {
        int left = readyAt - now;
        SleepMillis(left < 10 ? left : 10);
    }
}

// The whole program: start-up, title screen, closing screen.
void RunProgram() {
    WaitUntil(StartUp());
    TitleLoop();
    ClosingScreen();
}

// Plays one round from the title screen and locks the title against held inputs.
static void playFromTitle(TitleState& t) {
    if (shell.Channels[1] != 0 && Playing(shell.Channels[1])) {
        Stop(shell.Channels[1]);
        shell.Channels[1] = 0;
    }
    frame.PauseState = 1;
    PlayRound();
    frame.PauseState = 0;
    t.escHeld = 1;
    t.held = 1;
    t.slide = 0;
    scores.PanelSlide = 0;
    scores.SelectedIndex = 0;
}

// One frame of the title screen.
void TitleFrame(TitleState& t) {
    const int vw = display.VirtualWidth, vh = display.VirtualHeight;
    BeginFrame(1);
    ResetDrawState();
    DrawStripes();
    ResetDrawState();
    if (t.slide < 32) t.slide++;

    int w = 416, s = 13;
    if (display.PhysicalWidth >= 900) w = 320, s = 10;
    int off = w - t.slide * s;
    SetTint(0, 0, 0, 0.6f);
    DrawRect(static_cast<float>(10 - off), static_cast<float>(vh - 430), static_cast<float>(w),
             422);
    SetTint(255, 255, 255, 1);
    for (int i = 1; i <= shell.CreditCount && i < 100; ++i)
        DrawTextAligned(w / 2 + 5 - off, vh - 428 + (i - 1) * 20, shell.CreditLines[i], 1, 0);

    if (shell.Settings[slot::Width] == 800 && Millis() % 800 < 400) SetTint(255, 255, 0, 1);
    DrawTextAligned(4, 4, "Hit [Tab] for settings", 0, 0);

    ScorePanel(t.slide * 10, shell.GameMode, shell.Level, shell.GameFlags);

    int rise = 800 - t.slide * 25;
    SetTint(255, 150, 150, 1);
    if (MouseInRect(vw / 2 - 200, vh / 2 + rise - 40, 400, 80)) {
        SetTint(255, 255, 255, 1);
        if (t.go == 1 && t.held == 0 && panel.PanelOffset < -250) playFromTitle(t);
    }
    SetFont(display.FontSet[7]);
    DrawTextAligned(vw / 2, vh / 2 + rise, "Click Here to Start", 1, 1);
    t.go = IsMouseDown(1) ? 1 : 0;
    if (t.go == 0) t.held = 0;

    SetFont(display.FontSet[8]);
    const char* modes[3] = {"Easy", "Medium", "Hard"};
    for (int m = 0; m < 3; ++m) {
        int y = vh / 2 + 200 + 50 * m - rise;
        SetTint(255, 255, 255, 0.5f);
        if (shell.GameMode == m) SetAlpha(1);
        DrawTextAligned(vw / 2 - 100, y, modes[m], 0, 0);
        if (MouseInRect(vw / 2 - 100, y, 200, 40) && IsMouseDown(1)) shell.GameMode = m;
    }

    if (t.held == 0 && (ReadControl(0, 1) || ReadControl(0, 2))) {
        t.held = 1;
        shell.GameMode = shell.GameMode - 1;
        if (shell.GameMode == -1) shell.GameMode = 2;
    }
    if (t.held == 0 && (ReadControl(8, 1) || ReadControl(8, 2))) {
        t.held = 1;
        shell.GameMode = shell.GameMode + 1;
        if (shell.GameMode == 3) shell.GameMode = 0;
    }

    SetFont(display.FontSet[5]);
    SetTint(255, 255, 255, 1);
    DrawTextAligned(vw / 2, vh / 2 - 200 - rise, GameTitleFirst, 1, 1);
    SetFont(display.FontSet[6]);
    DrawTextAligned(vw / 2, vh / 2 - 140 + rise, GameTitleSecond, 1, 1);

    EndFrame(1);
    // "Watch replay" in the score panel's detail box plays that round.
    if (!scores.WatchRequest.empty()) {
        WatchRequestedReplay();
        t.escHeld = 1;
        t.held = 1;
    }

    if (!IsKeyDown(KeyEscape)) t.escHeld = 0;
    if (t.escHeld == 0 && IsKeyDown(KeyEscape)) t.quit = 1;
}

// The title screen: credits, scores, difficulty and the start button, until Escape.
void TitleLoop() {
    TitleState t;
    while (t.quit == 0) TitleFrame(t);
}

namespace {

// True when text is "YYYY-MM-DD HH:MM:SS" with digits in the digit places.
bool validStartTime(const std::string& text) {
    const std::string shape = "dddd-dd-dd dd:dd:dd";
    if (text.size() != shape.size()) return false;
    for (size_t i = 0; i < shape.size(); ++i) {
        bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
    }
    return true;
}

// Reads a whole decimal integer (optional sign); false for anything else.
bool readSeed(const std::string& text, int64_t& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || end == text.c_str()) return false;
    out = v;
    return true;
}

// A path given on the command line, made absolute against the caller's folder.
std::string absolutePath(const std::string& path) {
    std::error_code ec;
    auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

// Prints the complaint and the usage; the status of a bad command line.
int badCommandLine(const std::string& complaint) {
    std::fprintf(stderr, "zorvek-plon: %s\n%s", complaint.c_str(), Usage);
    return 2;
}

} // namespace

// Parses the command line into the platform's configuration and the files
// folder; returns -1 to go on, else the exit status.
int ParseCommandLine(int argc, char** argv, PlatformConfig& config, std::string& filesDir) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("%s %s\n", TitleText().c_str(), Version);
            return 0;
        } else if (arg == "--headless") {
            config.headless = true;
        } else if (arg == "--files") {
            if (!value(v) || v.empty()) return badCommandLine("--files needs a folder");
            std::error_code ec;
            if (!std::filesystem::is_directory(v, ec))
                return badCommandLine("--files: no such folder: " + v);
            filesDir = absolutePath(v);
            if (filesDir.back() != '/') filesDir += '/';
        } else if (arg == "--script") {
            if (!value(v) || v.empty()) return badCommandLine("--script needs a file");
            std::vector<std::string> lines;
            if (!ReadTextLines(v, lines)) return badCommandLine("--script: cannot read " + v);
            std::string source, error;
            for (const auto& line : lines) source += line + "\n";
            std::vector<ScriptEvent> events;
            if (!ParseScript(source, v, events, error)) return badCommandLine(error);
            config.scriptPath = absolutePath(v);
        } else if (arg == "--record") {
            if (!value(v) || v.empty()) return badCommandLine("--record needs a file");
            config.recordPath = absolutePath(v);
        } else if (arg == "--seed") {
            if (!value(v) || !readSeed(v, config.seed) || config.seed < 0)
                return badCommandLine("--seed needs a whole number of 0 or more");
        } else if (arg == "--start-time") {
            if (!value(v) || !validStartTime(v))
                return badCommandLine("--start-time needs \"YYYY-MM-DD HH:MM:SS\"");
            config.startTime = v;
        } else if (TakeReplayArgument(arg, i, argc, argv, v)) {
            if (!v.empty()) return badCommandLine(v);
        } else {
            return badCommandLine("unknown argument: " + arg);
        }
    }
    return -1;
}

// The program's entry: command line, platform, then the game itself.
int ProgramMain(int argc, char** argv) {
    PlatformConfig config;
    std::string filesDir;
    int status = ParseCommandLine(argc, argv, config, filesDir);
    if (status >= 0) return status;
    // Replays, their export and the checksum log (game/replay_command.cpp).
    status = PrepareReplayCommand(config);
    if (status >= 0) return status;

    // Everything is found relative to the program's own folder.
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string home = ec ? std::string() : exe.parent_path().string();
    if (!PlatformInit(config)) {
        std::fprintf(stderr, "zorvek-plon: cannot start: %s\n", PlatformError().c_str());
        return 1;
    }
    if (!home.empty() && !ChangeDir(home))
        std::fprintf(stderr, "zorvek-plon: cannot enter the program's folder %s\n", home.c_str());
    shell.FilesDir = filesDir.empty() ? std::string("Files/") : filesDir;
    if (ReplayCommandGiven()) return RunReplayCommand(config);
    RunProgram();
}

// startup.cpp - the program's main sequence: creating the tables, the debug
// log, reading the setup file, opening the display, the loading pause, the
// title screen with its credits and start button, and the program's entry.
#include "app/app.h"

#include "app/cmdline.h"
#include "app/replay_command.h"
#include "draw/draw.h"
#include "game/game.h"
#include "game/replay_view.h"
#include "input/bindings.h"
#include "music/music.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "scores/world.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/home.h"
#include "shell/shell.h"
#include "ui/ui.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

const std::string Hyphens(28, '-');

// Deletes what saves killed half-way left in a folder, with a log line each.
void removeLeftoverSaves(const std::string& folder) {
    for (const std::string& name : RemoveLeftoverSaves(folder))
        LogLine("\tRemoved an unfinished save: " + folder + name);
}

} // namespace

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
    CatchEndSignals(); // acted on once a frame (EndIfSignalled)
    FillCreditLines();
    CreateProgramTables();

    // Nothing may be written before the files folder is current: a folder that
    // cannot be made or entered ends the program rather than filling another one.
    if (!ChangeDir(shell.FilesDir) && !(MakeDir(shell.FilesDir) && ChangeDir(shell.FilesDir))) {
        std::fprintf(stderr, "zorvek-plon: cannot use the files folder %s: %s\n",
                     shell.FilesDir.c_str(), PlatformError().c_str());
        EndProcess(ExitFilesFolderUnusable);
    }
    shell.FilesPath = CurrentDir();
    if (shell.FilesPath.back() != '/') shell.FilesPath += '/';
    // One copy of the game per files folder: a second one would save over the
    // rounds of the first. The lock goes with the process, however it ends.
    LockResult lock = LockForRun(RunLockName);
    if (lock == LockResult::Held) {
        std::fprintf(stderr,
                     "zorvek-plon: another copy of the game is running on the files folder %s; "
                     "close it first, or give this one another folder with --files FOLDER\n",
                     shell.FilesPath.c_str());
        EndProcess(ExitFilesFolderUnusable);
    }
    std::string lockProblem = lock == LockResult::Unavailable ? PlatformError() : "";
    shell.DebugLog = CreateTextFile("Debug.txt");
    if (shell.DebugLog == 0)
        std::fprintf(stderr, "zorvek-plon: %s; the game runs without its log\n",
                     PlatformError().c_str());
    for (const std::string& line :
         {std::string("Brannoch's Quorvat Engine"), Hyphens, "Week #" + std::to_string(GameNumber),
          Hyphens, TitleText(), Hyphens, std::string(), std::string("Loading")})
        LogLine(line);
    if (!lockProblem.empty()) LogLine("\tNo lock against a second copy: " + lockProblem);
    removeLeftoverSaves(shell.FilesPath);

    shell.AudioDriverList = AudioDriverNames();
    ReadSetupFile();
    LogLine("Grabbing Previous Scores");
    LogLine("");
    if (!ChangeDir(GameFolder()) && !(MakeDir(GameFolder()) && ChangeDir(GameFolder()))) {
        std::string why = PlatformError();
        LogLine("\tCannot use the game folder " + shell.FilesPath + GameFolder() + ": " + why);
        std::fprintf(stderr, "zorvek-plon: cannot use the game folder %s%s: %s\n",
                     shell.FilesPath.c_str(), GameFolder().c_str(), why.c_str());
        CloseTextFile(shell.DebugLog);
        shell.DebugLog = 0;
        EndProcess(ExitFilesFolderUnusable);
    }
    removeLeftoverSaves(shell.FilesPath + GameFolder());
    StartWorldTable(shell.FilesPath, shell.FilesPath + GameFolder());

    int readyAt = Millis() + 2500;
    if (!ApplyDisplaySettings()) EndWithoutDisplay();
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
        EndIfSignalled();
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
    ShowWorldNotice();
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

// The program's entry: command line, platform, then the game itself.
int ProgramMain(int argc, char** argv) {
    PlatformConfig config;
    std::string filesDir;
    int status = ParseCommandLine(argc, argv, config, filesDir);
    if (status >= 0) return status;
    // Replays, their export and the checksum log (app/replay_command.cpp).
    status = PrepareReplayCommand(config);
    if (status >= 0) return status;
    if (!worldCommand.submitPath.empty())
        return SubmitReplayFile(worldCommand.submitPath, worldCommand.url, worldCommand.name);

    // Everything is found relative to the program's own folder.
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string home = ec ? std::string() : exe.parent_path().string();
    if (!PlatformInit(config)) {
        std::fprintf(stderr, "zorvek-plon: cannot start: %s\n", PlatformError().c_str());
        return 1;
    }
    if (!home.empty() && !ChangeDir(home) && filesDir.empty()) {
        // Files/ beside the program cannot be reached; never fall back on another folder.
        std::fprintf(stderr, "zorvek-plon: cannot enter the program's folder %s\n", home.c_str());
        return ExitFilesFolderUnusable;
    }
    shell.FilesDir = filesDir.empty() ? PlayerFilesDir(home) : filesDir;
    if (ReplayCommandGiven()) {
        int status = RunReplayCommand(config);
        PlatformShutdown(); // closes the sound device the export or the window used
        return status;
    }
    RunProgram();
}

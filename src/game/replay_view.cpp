// replay_view.cpp - showing a replay: in the window at a chosen speed (from
// the command line or the score panel's "Watch replay"), or frame by frame on
// the virtual clock into a video file.
#include "game/replay_view.h"

#include "draw/draw.h"
#include "game/replay.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "ui/ui.h"

#include <algorithm>
#include <string>

namespace {

constexpr int Fps = 60;
constexpr int GameOverMillis = 1500; // the round's own pause after "Game Over"

// Playing speeds: frames of play per shown frame, or shown frames per frame of play.
struct Speed {
    int steps, holds;
    const char* label;
};
const Speed Speeds[6] = {{1, 4, "1/4"}, {1, 2, "1/2"}, {1, 1, "1"},
                         {2, 1, "2"},   {4, 1, "4"},   {8, 1, "8"}};
constexpr int NormalSpeed = 2;

// The end of a replayed frame: notices and the pointer where the player had it.
void finishPicture(const Replay& replay, size_t next) {
    DrawNotices();
    ResetDrawState();
    SetDrawScale(1.5f, 1.5f);
    const ReplayFrame& f = replay.frames[std::min(next, replay.frames.size() - 1)];
    DrawImageFrame(display.IconSheet, static_cast<float>(f.input.mouseX + 12),
                   static_cast<float>(f.input.mouseY + 12), 63);
    ResetDrawState();
}

// The watching line at the bottom right: speed, or that it is paused.
void drawWatchLine(int speed, bool paused) {
    ResetDrawState();
    SetFont(display.FontSet[3]);
    SetTint(180, 255, 180, 1);
    std::string text = paused ? "Replay paused - Space plays on"
                              : std::string("Replay x") + Speeds[speed].label +
                                    " - arrows change speed, Space pauses, Escape leaves";
    DrawTextAligned(display.VirtualWidth - 4, display.VirtualHeight - 4, text, 2, 2);
}

// What the round and the drawing had before a replay took them over.
struct Saved {
    uint64_t random;
    int width, height, mode;
};

Saved save() {
    return Saved{RandomStateNow(), display.VirtualWidth, display.VirtualHeight, shell.GameMode};
}

void restore(const Saved& s) {
    SetRandomState(s.random);
    SetRoundSize(s.width, s.height);
    shell.GameMode = s.mode;
}

} // namespace

// Plays the replay in the window at normal speed: Escape leaves, Space pauses,
// the arrows change the speed. True when the window was asked to close.
bool WatchReplay(const Replay& replay) {
    const Saved before = save();
    BeginReplayRound(replay);
    FlushKeys();
    int speed = NormalSpeed;
    bool paused = false, closing = false;
    int snapshot = 0; // the picture shown while paused
    size_t next = 0;
    int64_t dueMicros = int64_t(Millis()) * 1000; // when the next picture is shown
    while (next < replay.frames.size() && game.Over == 0) {
        PumpInput();
        if (CloseRequested()) {
            closing = true;
            break;
        }
        if (KeyPressCount(KeyEscape)) break;
        speed = std::clamp(speed + KeyPressCount(KeyRight) + KeyPressCount(KeyUp) -
                               KeyPressCount(KeyLeft) - KeyPressCount(KeyDown),
                           0, 5);
        if (KeyPressCount(KeySpace) % 2 == 1) paused = !paused;
        if (paused && snapshot != 0) {
            BeginFrame(1);
            ResetDrawState();
            DrawImageFrame(snapshot, static_cast<float>(display.VirtualWidth / 2),
                           static_cast<float>(display.VirtualHeight / 2), 0);
            drawWatchLine(speed, true);
            Flip(0);
            SleepMillis(15);
            dueMicros = int64_t(Millis()) * 1000;
            continue;
        }
        for (int k = 0; k < Speeds[speed].steps && next < replay.frames.size(); ++k)
            if (StepReplayRound(replay, next++) != 0) break;
        finishPicture(replay, next);
        if (paused) {
            // Pausing keeps this picture up until Space is pressed again.
            snapshot = CreateImage(display.PhysicalWidth, display.PhysicalHeight, 0);
            SetImageHandle(snapshot, static_cast<float>(display.PhysicalWidth / 2),
                           static_cast<float>(display.PhysicalHeight / 2));
            GrabImage(snapshot, 0, 0);
        } else if (snapshot != 0) {
            FreeImage(snapshot);
            snapshot = 0;
        }
        drawWatchLine(speed, paused);
        dueMicros += 1000000 * Speeds[speed].holds / Fps;
        // Fallen far behind (a slow machine): start counting afresh, no rushing.
        if (int64_t(Millis()) * 1000 > dueMicros + 100000) dueMicros = int64_t(Millis()) * 1000;
        while (int64_t(Millis()) * 1000 < dueMicros) SleepMillis(1);
        Flip(0);
    }
    FreeImage(snapshot);
    if (game.Over != 0 && !closing) {
        RoundConclude(0);
        for (int end = Millis() + GameOverMillis; Millis() < end && !KeyPressCount(KeyEscape);)
            SleepMillis(10);
    }
    EndReplayRound();
    restore(before);
    FlushKeys();
    return closing;
}

// Plays the replay's frames on the virtual clock, one sixtieth of a second
// apart, with the video export taking every presented picture; the game-over
// picture is held as long as the round holds it.
bool ExportReplayFrames(const Replay& replay) {
    BeginReplayRound(replay);
    const int start = Millis();
    for (size_t i = 0; i < replay.frames.size(); ++i) {
        const int at = start + static_cast<int>(int64_t(i) * 1000 / Fps);
        if (Millis() < at) SleepMillis(at - Millis());
        int over = StepReplayRound(replay, i);
        finishPicture(replay, i + 1);
        Flip(0);
        if (over != 0) break;
    }
    const int end = start + static_cast<int>(int64_t(replay.frames.size()) * 1000 / Fps);
    if (Millis() < end) SleepMillis(end - Millis());
    RoundConclude(0);
    SleepMillis(GameOverMillis);
    EndReplayRound();
    return FinishVideoExport();
}

// Frames of a replay's video: every frame of play and the held "Game Over".
int ReplayVideoFrames(const Replay& replay) {
    return static_cast<int>(replay.frames.size()) + GameOverMillis * Fps / 1000;
}

// Watches the replay the score panel asked for, or posts why it cannot be.
void WatchRequestedReplay() {
    const std::string name = scores.WatchRequest;
    scores.WatchRequest.clear();
    Replay replay;
    std::string error;
    if (!LoadReplay(std::string(ReplayFolder) + "/" + name, replay, error)) {
        LogLine("Could not play the replay " + error);
        PostNotice("This replay cannot be played (see Debug.txt)", 1);
        return;
    }
    LogLine("Watching the replay " + name);
    if (WatchReplay(replay)) ClosingScreen();
}

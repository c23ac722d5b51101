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

// The input of frame `next`: where the round sampled the pointer as the frame
// before it ended (the last frame's own past the end).
const RoundInput& inputAt(const Replay& replay, size_t next) {
    return replay.frames[std::min(next, replay.frames.size() - 1)].input;
}

// The pointer where the player had it at the end of the frame before `next`.
void drawReplayPointer(const Replay& replay, size_t next) {
    ResetDrawState();
    SetDrawScale(1.5f, 1.5f);
    const RoundInput& in = inputAt(replay, next);
    DrawImageFrame(display.IconSheet, static_cast<float>(in.mouseX + 12),
                   static_cast<float>(in.mouseY + 12), 63);
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

// The watching between its frames.
struct Viewer {
    int speed = NormalSpeed;
    bool paused = false;
    size_t next = 0;  // the next frame of play
    int snapshot = 0; // the picture that stands while paused or held at a slow speed
    int snapW = 0, snapH = 0;
    bool standing = false; // the snapshot holds the picture last played
    int holdLeft = 0;      // frames the picture still stands at a slow speed
};

// Takes the watching keys; false when Escape leaves.
bool readKeys(Viewer& v) {
    if (KeyPressCount(KeyEscape)) return false;
    v.speed = std::clamp(v.speed + KeyPressCount(KeyRight) + KeyPressCount(KeyUp) -
                             KeyPressCount(KeyLeft) - KeyPressCount(KeyDown),
                         0, 5);
    if (KeyPressCount(KeySpace) % 2 == 1) v.paused = !v.paused;
    return true;
}

// Keeps the picture just drawn (at the window's physical size) to stand.
void grabPicture(Viewer& v) {
    if (v.snapshot == 0 || v.snapW != PhysicalWidth() || v.snapH != PhysicalHeight()) {
        FreeImage(v.snapshot);
        v.snapW = PhysicalWidth();
        v.snapH = PhysicalHeight();
        v.snapshot = CreateImage(v.snapW, v.snapH, 0);
        SetImageHandle(v.snapshot, static_cast<float>(v.snapW / 2),
                       static_cast<float>(v.snapH / 2));
    }
    GrabImage(v.snapshot, 0, 0);
    v.standing = v.snapshot != 0;
}

// Draws the standing picture back over the logical area: physical pixels are
// scaled down by the display's own logical scale, centred like its letterbox.
void drawStandingPicture(const Viewer& v) {
    BeginFrame(1);
    ResetDrawState();
    const float scale = std::min(static_cast<float>(v.snapW) / float(LogicalWidth()),
                                 static_cast<float>(v.snapH) / float(LogicalHeight()));
    SetDrawScale(1 / scale, 1 / scale);
    DrawImageFrame(v.snapshot, static_cast<float>(LogicalWidth()) / 2,
                   static_cast<float>(LogicalHeight()) / 2, 0);
    ResetDrawState();
}

// This frame's picture: the standing one, or the next frames of play. A
// picture is kept to stand only from a presented frame, whose sprites were
// drawn; at a slow speed on a slow system that keeps the steps on the
// presented frames.
void showPicture(const Replay& replay, Viewer& v) {
    if (v.standing && (v.paused || v.holdLeft > 0)) {
        if (!v.paused) --v.holdLeft;
        drawStandingPicture(v);
        return;
    }
    for (int k = 0; k < Speeds[v.speed].steps && v.next < replay.frames.size(); ++k)
        if (StepReplayRound(replay, v.next++) != RoundGoesOn) break;
    drawReplayPointer(replay, v.next);
    v.standing = false;
    const int holds = Speeds[v.speed].holds;
    if ((v.paused || holds > 1) && FramePresented()) {
        grabPicture(v);
        v.holdLeft = holds - 1;
    }
}

// Ends the frame through the frame driver (hot-keys, notices, pacing,
// presenting), keeping the replayed round's generator and size from what the
// hot-keys may do: a settings panel's Apply re-opens the display, whose
// engine test draws random numbers and may choose another logical size, which
// is then the one given back at the end.
void endFrame(Saved& before) {
    const uint64_t random = RandomStateNow();
    const int width = display.VirtualWidth, height = display.VirtualHeight;
    EndFrame(0);
    if (display.VirtualWidth != width || display.VirtualHeight != height) {
        before.width = display.VirtualWidth;
        before.height = display.VirtualHeight;
        SetRoundSize(width, height);
    }
    SetRandomState(random);
}

// The held "Game Over" after the round's end; Escape cuts it short.
void holdGameOver(const Replay& replay, size_t next) {
    RoundConclude(0, inputAt(replay, next).mouseX, inputAt(replay, next).mouseY);
    for (int end = Millis() + GameOverMillis; Millis() < end && !KeyPressCount(KeyEscape);)
        SleepMillis(10);
}

} // namespace

// Plays the replay in the window at normal speed: Escape leaves, Space pauses,
// the arrows change the speed. Every frame ends through the frame driver, as
// on every screen; its close request and Alt+F4 end the watching. True when
// the window was asked to close.
bool WatchReplay(const Replay& replay) {
    Saved before = save();
    BeginReplayRound(replay);
    FlushKeys();
    const bool tookClose = frame.ScreenTakesClose;
    frame.ScreenTakesClose = true;
    frame.CloseAsked = false;
    Viewer v;
    while (v.next < replay.frames.size() && game.Over == RoundGoesOn && !frame.CloseAsked &&
           readKeys(v)) {
        showPicture(replay, v);
        drawWatchLine(v.speed, v.paused);
        endFrame(before);
    }
    FreeImage(v.snapshot);
    const bool closing = frame.CloseAsked;
    frame.ScreenTakesClose = tookClose;
    frame.CloseAsked = false;
    if (game.Over != RoundGoesOn && !closing) holdGameOver(replay, v.next);
    EndReplayRound();
    restore(before);
    FlushKeys();
    return closing;
}

// Plays the replay's frames on the virtual clock, one sixtieth of a second
// apart, with the video export taking every presented picture; the game-over
// picture is held as long as the round holds it. outcome tells how the round
// played out.
bool ExportReplayFrames(const Replay& replay, ReplayOutcome& outcome) {
    BeginReplayRound(replay);
    const int start = Millis();
    outcome = ReplayOutcome{};
    for (size_t i = 0; i < replay.frames.size(); ++i) {
        const int at = start + static_cast<int>(int64_t(i) * 1000 / Fps);
        if (Millis() < at) SleepMillis(at - Millis());
        int over = StepReplayRound(replay, i);
        outcome.frames = int(i) + 1;
        DrawNotices();
        drawReplayPointer(replay, i + 1);
        Flip(0);
        if (over != RoundGoesOn) break;
    }
    outcome.score = game.RoundScore;
    outcome.ended = game.Over != RoundGoesOn;
    outcome.endedInTime = outcome.ended && size_t(outcome.frames) == replay.frames.size();
    const int end = start + static_cast<int>(int64_t(replay.frames.size()) * 1000 / Fps);
    if (Millis() < end) SleepMillis(end - Millis());
    const RoundInput& last = inputAt(replay, size_t(outcome.frames));
    RoundConclude(0, last.mouseX, last.mouseY);
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

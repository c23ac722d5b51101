// replay_view.h - showing a replay in the window or exporting it as a video.
#pragma once

struct Replay;
struct ReplayOutcome;

// Plays it in the window at normal speed (Escape leaves, Space pauses, the
// arrow keys change the speed from 1/4 to 8), every frame through EndFrame.
// True when the window was asked to close meanwhile (the close request or
// Alt+F4). The generator, logical size and game mode are restored.
bool WatchReplay(const Replay& replay);
// Plays it on the virtual clock into the video export started by the caller
// and finishes the file; false (PlatformError()) when the export failed.
// outcome tells how the round played out, as RunReplayHeadless does.
bool ExportReplayFrames(const Replay& replay, ReplayOutcome& outcome);
int ReplayVideoFrames(const Replay& replay); // frames ExportReplayFrames writes
// The score panel's "Watch replay" was clicked: plays scores.WatchRequest.
void WatchRequestedReplay();

// recording.h - what the recording video back-end saw, and what the audio
// layer holds on its channels, for tests.
//
// With PlatformConfig::recordingVideo every drawing call is kept as one
// DrawRecord with the full draw state it was made in, so a test can check what
// a screen drew without a window. Fonts are still measured with FreeType, so
// alignment can be checked to the pixel.
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

enum class DrawKind { Clear, Rect, Line, Image, Text, Flip };

struct DrawRecord {
    DrawKind kind;
    float x, y;   // position as passed (Line: first point)
    float w, h;   // Rect: size; Line: second point; Image: frame size
    int image;    // Image
    int frame;    // Image
    int r, g, b;  // colour in force
    float alpha;  // alpha in force
    int blend;    // BlendMode in force
    float sx, sy; // draw scale in force
    float rotation;
    int font;         // font in force (Text)
    std::string text; // Text
};

const std::vector<DrawRecord>& RecordedDraws();
void ClearRecordedDraws();
// Draws recorded since the last Flip (or since the start).
std::vector<DrawRecord> DrawsSinceFlip();
// Replaces the display modes the recording back-end offers (tests of mode
// selection); the fixed default list comes back with the next start.
void SetRecordedDisplayModes(const std::vector<DisplayMode>& modes);

// The sound cued on a channel (0 for none, or for a channel that is not open)
// and the playback rate last asked for it (1 when never set).
int ChannelSound(int channel);
float ChannelRate(int channel);
// Makes every OpenDisplay of the recording back-end fail, as on a machine with
// no usable screen (tests of that failure); cleared at the next start.
void SetRecordedDisplayRefused(bool refused);
// Makes the recording back-end's GL engines report a driver of this name with
// or without acceleration (a machine without a graphics card); cleared at the
// next start.
void SetRecordedDriver(const std::string& renderer, bool accelerated);

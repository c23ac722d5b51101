// internal.h - how the platform's own modules call each other.
//
// platform.cpp owns set-up and the error text; video*.cpp owns the display,
// the draw state, images, fonts and PNG files; the other modules own sound,
// input, clock, files, random numbers and memory figures.
#pragma once

#include "platform/platform.h"

void SetPlatformError(const std::string& message);

// signals module
void ForgetEndSignal(); // from PlatformInit: no signal noted yet

// files module
// Opens a regular file for reading without waiting on pipes or devices: the
// descriptor, or -1 with the reason ("not a regular file", or the system's).
int OpenRegularForReading(const std::string& path, std::string& why);

// video module
bool VideoInit(const PlatformConfig& config); // after SDL_Init
void VideoShutdown();
bool VideoUsesSdl(); // false with the recording back-end
void VideoWarpPointer(int logicalX, int logicalY);
void VideoShowPointer(bool visible);
unsigned VideoWindowId(); // SDL window id of the open display, 0 when none
// Maps a window point of a mouse event to logical coordinates where the
// platform's own rasteriser draws (SDL's renderers map their events themselves).
void VideoWindowToLogical(int& x, int& y);
void VideoExportFlip(); // video_export.cpp: takes the picture about to be presented
void VideoIdle();       // the caller is about to wait: drawing that can go on meanwhile starts

// host (host.cpp on the desktop, web_host.cpp in the browser)
bool HostThreadsAvailable();  // worker threads can start (else everything runs on one)
void HostSleep(int ms);       // waits at least ms on the real clock
void HostFramePresented();    // a frame went to the screen: the browser may show it now
std::string HostGlRenderer(); // the host's own name for the GL renderer, "" to ask GL
bool HostWindowKeepsItsGl();  // a window that had GL cannot take a plain picture
void HostNewWindow();         // a window is about to open

// clock module
void ClockInit(const PlatformConfig& config);
bool ClockIsVirtual();
void ChargeDrawCost(); // one drawn primitive's share of virtual time

// input module
bool InputInit(const PlatformConfig& config); // false on a bad script
void InputShutdown();                         // writes the --record file
void InputAdvanceTo(int ms);                  // apply script events up to ms
void InputFrameShown();  // a frame was presented: lets go of the presses held through it
void InputCloseRecord(); // flush and close the --record file

// audio module
bool AudioInit(const PlatformConfig& config);
void AudioShutdown();

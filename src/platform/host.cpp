// host.cpp - what the desktop host gives the platform: threads, and sleeping
// by the operating system. The browser has its own version (web_host.cpp).
#include "platform/internal.h"

#include <chrono>
#include <thread>

// Worker threads can always start on the desktop.
bool HostThreadsAvailable() {
    return true;
}

// Sleeps the calling thread.
void HostSleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Nothing to hand back: the desktop's event loop is ours.
void HostFramePresented() {}

// The desktop's GL names its renderer itself: nothing to add.
std::string HostGlRenderer() {
    return "";
}

// A desktop window shows a plain picture after GL.
bool HostWindowKeepsItsGl() {
    return false;
}

// Nothing to prepare for a desktop window.
void HostNewWindow() {}

// platform.cpp - starting and stopping the platform layer.
//
// PlatformInit picks every back-end once from the configuration: SDL with or
// without its video part, the real or virtual clock, OpenAL or silent sound,
// live or scripted input. It may be called again after PlatformShutdown (tests
// do so for every case).
#include "platform/internal.h"

#include <SDL.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

struct PlatformState {
    bool started = false;
    bool sdlStarted = false;
    bool choseDriver = false; // SDL_VIDEODRIVER was set by a headless start
    std::string error;
};

PlatformState platform;

// Starts SDL with the subsystems the configuration needs.
bool startSdl(const PlatformConfig& config) {
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // SDL would turn SIGINT and SIGTERM into a close request that waits on the
    // closing page; the game takes them itself (CatchEndSignals), and the
    // replay commands end at once as any program does.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (config.recordingVideo) {
        // No window at all, but joysticks (virtual ones too) and events still work.
        if (SDL_Init(SDL_INIT_JOYSTICK | SDL_INIT_EVENTS) == 0) return true;
        std::fprintf(stderr, "joysticks unavailable: %s\n", SDL_GetError());
        if (SDL_Init(SDL_INIT_EVENTS) == 0) return true;
        std::fprintf(stderr, "SDL events unavailable: %s\n", SDL_GetError());
        return false;
    }
    // A driver we chose for an earlier headless start is not the user's choice.
    if (platform.choseDriver) unsetenv("SDL_VIDEODRIVER");
    platform.choseDriver = config.headless;
    if (config.headless) setenv("SDL_VIDEODRIVER", "offscreen", 1);
    Uint32 wanted = SDL_INIT_VIDEO | SDL_INIT_JOYSTICK | SDL_INIT_EVENTS;
    if (SDL_Init(wanted) == 0) {
        // SDL quietly falls back to a driver without a screen when no display
        // is reachable; unless that was asked for, the player would see nothing.
        const char* driver = SDL_GetCurrentVideoDriver();
        const char* asked = std::getenv("SDL_VIDEODRIVER");
        bool screenless =
            driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
        if (config.headless || !screenless || (asked && std::strcmp(asked, driver) == 0))
            return true;
        SDL_Quit();
        SetPlatformError("no display: no screen could be reached (set DISPLAY, or run headless)");
        return false;
    }
    if (config.headless) {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        if (SDL_Init(wanted) == 0) return true;
    }
    SetPlatformError(std::string("no display: ") + SDL_GetError());
    return false;
}

// A seed from the wall clock and the monotonic clock together.
int64_t clockSeed() {
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return int64_t(std::time(nullptr)) ^ int64_t(ticks);
}

} // namespace

void SetPlatformError(const std::string& message) {
    platform.error = message;
}

const std::string& PlatformError() {
    return platform.error;
}

// Starts every back-end chosen by config; false (see PlatformError) on failure.
bool PlatformInit(const PlatformConfig& config) {
    if (platform.started) PlatformShutdown();
    platform.error.clear();
    ClockInit(config);
    SeedRandom(config.seed >= 0 ? config.seed : clockSeed());
    platform.sdlStarted = startSdl(config);
    ForgetEndSignal();
    if (!platform.sdlStarted && !config.recordingVideo) return false;
    if (!VideoInit(config)) {
        if (platform.error.empty()) SetPlatformError("the display could not be set up");
        if (platform.sdlStarted) SDL_Quit();
        platform.sdlStarted = false;
        return false;
    }
    platform.started = true;
    AudioInit(config);
    if (!InputInit(config)) {
        std::string why = platform.error;
        PlatformShutdown();
        platform.error = why;
        return false;
    }
    return true;
}

// Stops every back-end and closes the --record file; safe to call twice.
void PlatformShutdown() {
    if (!platform.started) return;
    if (VideoExportActive() && !FinishVideoExport())
        std::fprintf(stderr, "%s\n", platform.error.c_str());
    InputShutdown();
    AudioShutdown();
    VideoShutdown();
    if (platform.sdlStarted) SDL_Quit();
    platform.sdlStarted = false;
    platform.started = false;
}

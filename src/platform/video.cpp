// video.cpp - the display: starting the video module, display modes, opening
// and closing the window or full screen with one of the three SDL renderers,
// the logical resolution, the window title, the pointer and presenting frames.
//
// With the recording back-end the display only "opens" as numbers: no window,
// a fixed list of modes, and Flip and ClearScreen become records.
#include "platform/video_internal.h"

#include <SDL.h>

VideoState videoState;

namespace {

const char* const EngineNames[3] = {"opengl", "opengles2", "software"};

// The usual window sizes offered beside what SDL reports for the screen.
const int WindowSizes[][2] = {{640, 480},  {800, 600},   {1024, 768},  {1280, 720},
                              {1280, 800}, {1280, 960},  {1366, 768},  {1440, 900},
                              {1600, 900}, {1680, 1050}, {1920, 1080}, {1920, 1200}};

// True when the list already holds this width and height.
bool hasSize(const std::vector<DisplayMode>& modes, int w, int h) {
    for (const DisplayMode& m : modes)
        if (m.width == w && m.height == h) return true;
    return false;
}

// SDL's modes of the first screen, then the usual window sizes that fit it.
void buildSdlModes() {
    std::vector<DisplayMode>& modes = videoState.modes;
    modes.clear();
    int count = SDL_GetNumDisplayModes(0);
    for (int i = 0; i < count; i++) {
        SDL_DisplayMode m;
        if (SDL_GetDisplayMode(0, i, &m) != 0) continue;
        modes.push_back({m.w, m.h, int(SDL_BITSPERPIXEL(m.format)), m.refresh_rate});
    }
    SDL_DisplayMode desktop{};
    int maxW = 1920, maxH = 1200;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0 && !videoState.headless) {
        maxW = desktop.w;
        maxH = desktop.h;
    }
    int depth = desktop.format ? int(SDL_BITSPERPIXEL(desktop.format)) : 32;
    int refresh = desktop.refresh_rate > 0 ? desktop.refresh_rate : 60;
    for (const auto& size : WindowSizes) {
        if (size[0] > maxW || size[1] > maxH || hasSize(modes, size[0], size[1])) continue;
        modes.push_back({size[0], size[1], depth, refresh});
    }
}

// The renderer driver index SDL gives this name, or -1.
int driverIndex(const char* name) {
    int count = SDL_GetNumRenderDrivers();
    for (int i = 0; i < count; i++) {
        SDL_RendererInfo info;
        if (SDL_GetRenderDriverInfo(i, &info) == 0 && SDL_strcmp(info.name, name) == 0) return i;
    }
    return -1;
}

// Applies the logical size to the open renderer.
void applyLogicalSize() {
    if (!videoState.renderer) return;
    FlushBatch();
    SDL_RenderSetLogicalSize(videoState.renderer, videoState.logicalWidth,
                             videoState.logicalHeight);
}

// Opens the SDL window and the first renderer that works, asked engine first.
bool openSdlDisplay(int width, int height, int depth, int refresh) {
    Uint32 flags = SDL_WINDOW_SHOWN;
    if (depth > 0) flags |= SDL_WINDOW_FULLSCREEN;
    const char* title = videoState.title.empty() ? "" : videoState.title.c_str();
    SDL_Window* window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          width, height, flags);
    if (!window) {
        SetPlatformError(std::string("cannot open a window: ") + SDL_GetError());
        return false;
    }
    if (depth > 0) {
        SDL_DisplayMode mode{};
        mode.w = width;
        mode.h = height;
        mode.refresh_rate = refresh;
        SDL_SetWindowDisplayMode(window, &mode);
    }
    // Headless runs always use the software renderer: nothing else draws offscreen.
    int order[3] = {videoState.engine, -1, -1};
    int n = 1;
    for (int e = 0; e < 3; e++)
        if (e != videoState.engine) order[n++] = e;
    if (videoState.headless) order[0] = 2, n = 1;
    // SDL would present the software renderer's picture through an OpenGL
    // texture: offscreen that loads the whole GL stack for a window nobody
    // sees, and in a window it redraws the picture through GL every frame. The
    // plain window surface is the lighter path for the fallback engine; the
    // GL renderers do not use it.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    std::string failures;
    for (int i = 0; i < n; i++) {
        const char* name = EngineNames[order[i]];
        int index = driverIndex(name);
        if (index < 0) {
            failures += std::string(failures.empty() ? "" : "; ") + name + ": not available";
            continue;
        }
        SDL_Renderer* renderer = SDL_CreateRenderer(window, index, 0);
        if (!renderer) {
            failures += std::string(failures.empty() ? "" : "; ") + name + ": " + SDL_GetError();
            continue;
        }
        videoState.window = window;
        videoState.renderer = renderer;
        videoState.engineName = name;
        videoState.vsync = 0;
        return true;
    }
    SDL_DestroyWindow(window);
    SetPlatformError("cannot open the display (" + failures + ")");
    return false;
}

} // namespace

// Starts the video module on the back-end the configuration chose.
bool VideoInit(const PlatformConfig& config) {
    VideoShutdown();
    videoState = VideoState{};
    videoState.recording = config.recordingVideo;
    videoState.headless = config.headless;
    ResetRecording();
    ResetVideoDrawState();
    if (videoState.recording) {
        UseDefaultRecordedModes();
        return true;
    }
    if (!SDL_WasInit(SDL_INIT_VIDEO) && SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        SetPlatformError(std::string("no display: ") + SDL_GetError());
        return false;
    }
    return true;
}

// Closes the display and forgets every image and font.
void VideoShutdown() {
    CloseDisplay();
    FreeAllImages();
    FreeAllFonts();
    DropTextures(videoState.white);
    videoState.records.clear();
    videoState.records.shrink_to_fit();
}

// True while the real SDL renderer is the back-end.
bool VideoUsesSdl() {
    return !videoState.recording;
}

// Moves the system pointer to a point of the logical screen.
void VideoWarpPointer(int logicalX, int logicalY) {
    if (!videoState.window || !videoState.renderer) return;
    int wx = 0, wy = 0;
    SDL_RenderLogicalToWindow(videoState.renderer, float(logicalX), float(logicalY), &wx, &wy);
    SDL_WarpMouseInWindow(videoState.window, wx, wy);
}

// Shows or hides the system pointer (remembered while no display is open).
void VideoShowPointer(bool visible) {
    videoState.pointerVisible = visible;
    if (!videoState.recording && SDL_WasInit(SDL_INIT_VIDEO))
        SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
}

// The SDL id of the open window, 0 when there is none.
unsigned VideoWindowId() {
    return videoState.window ? SDL_GetWindowID(videoState.window) : 0;
}

// Number of display modes on offer.
int CountDisplayModes() {
    if (!videoState.recording) buildSdlModes();
    return int(videoState.modes.size());
}

// The mode at a 0-based position; zeros when out of range.
DisplayMode DisplayModeAt(int index) {
    if (!videoState.recording && videoState.modes.empty()) buildSdlModes();
    if (index < 0 || index >= int(videoState.modes.size())) return {0, 0, 0, 0};
    return videoState.modes[size_t(index)];
}

// True when a mode of this size and depth is on offer at any refresh rate.
bool DisplayModeExists(int width, int height, int depth) {
    if (!videoState.recording) buildSdlModes();
    for (const DisplayMode& m : videoState.modes)
        if (m.width == width && m.height == height && m.depth == depth) return true;
    return false;
}

// Chooses the engine the next OpenDisplay tries first.
void SetGraphicsEngine(int engine) {
    videoState.engine = engine >= 0 && engine <= 2 ? engine : 0;
}

// Opens the display in a window (depth 0) or full screen.
bool OpenDisplay(int width, int height, int depth, int refresh) {
    CloseDisplay();
    if (width <= 0 || height <= 0 || width > MaxPictureSide || height > MaxPictureSide) {
        SetPlatformError("cannot open a display of " + std::to_string(width) + "x" +
                         std::to_string(height));
        return false;
    }
    if (videoState.recording) {
        videoState.engineName = EngineNames[videoState.engine];
    } else {
        if (!openSdlDisplay(width, height, depth, refresh)) return false;
        int w = width, h = height;
        SDL_GetRendererOutputSize(videoState.renderer, &w, &h);
        width = w, height = h;
        SDL_ShowCursor(videoState.pointerVisible ? SDL_ENABLE : SDL_DISABLE);
    }
    videoState.open = true;
    videoState.physicalWidth = width;
    videoState.physicalHeight = height;
    if (!videoState.recording) {
        applyLogicalSize();
        SDL_SetRenderDrawColor(videoState.renderer, 0, 0, 0, 255);
        SDL_RenderClear(videoState.renderer);
    }
    return true;
}

// Closes the display; images and fonts stay loaded for the next one.
void CloseDisplay() {
    if (videoState.renderer) {
        FlushBatch();
        DropAllTextures();
        SDL_DestroyRenderer(videoState.renderer);
    }
    if (videoState.window) SDL_DestroyWindow(videoState.window);
    videoState.renderer = nullptr;
    videoState.window = nullptr;
    videoState.open = false;
}

bool DisplayIsOpen() {
    return videoState.open;
}

// Name of the SDL renderer that opened ("" before the first display).
const std::string& OpenedEngineName() {
    return videoState.engineName;
}

int PhysicalWidth() {
    return videoState.physicalWidth;
}
int PhysicalHeight() {
    return videoState.physicalHeight;
}

// Sets the drawing resolution that is scaled to the physical display.
void SetLogicalSize(int width, int height) {
    if (width <= 0 || height <= 0) width = height = 0;
    videoState.logicalWidth = width;
    videoState.logicalHeight = height;
    applyLogicalSize();
}

// The logical width (the physical one when none was set).
int LogicalWidth() {
    return videoState.logicalWidth ? videoState.logicalWidth : videoState.physicalWidth;
}

// The logical height (the physical one when none was set).
int LogicalHeight() {
    return videoState.logicalHeight ? videoState.logicalHeight : videoState.physicalHeight;
}

// Sets the window's caption, now or when the window opens.
void SetWindowTitle(const std::string& title) {
    videoState.title = title;
    if (videoState.window) SDL_SetWindowTitle(videoState.window, title.c_str());
}

void ShowSystemPointer(bool visible) {
    VideoShowPointer(visible);
}

// Presents the back buffer; sync 0 turns vsync off, above 0 on, -1 keeps it.
void Flip(int sync) {
    if (videoState.recording) {
        Record(DrawKind::Flip, 0, 0, 0, 0, 0, 0, nullptr);
    } else if (videoState.renderer) {
        FlushBatch();
        VideoExportFlip();
        int wanted = sync < 0 ? videoState.vsync : (sync > 0 ? 1 : 0);
        if (wanted != videoState.vsync && SDL_RenderSetVSync(videoState.renderer, wanted) == 0)
            videoState.vsync = wanted;
        SDL_RenderPresent(videoState.renderer);
    }
    PumpInput();
}

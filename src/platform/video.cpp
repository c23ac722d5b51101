// video.cpp - the display: starting the video module, display modes, opening
// and closing the window or full screen with one of the three engines (two SDL
// renderers and our own rasteriser, which presents through the window surface
// on the main thread; a GL engine on a software driver is drawn by the
// rasteriser too), the logical resolution, the window title, the pointer and
// presenting frames.
//
// With the recording back-end the display only "opens" as numbers: no window,
// a fixed list of modes, and Flip and ClearScreen become records.
#include "platform/video_internal.h"

#include <SDL.h>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

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

// Words in a GL renderer's name that mark a driver drawing on the processor.
const char* const SoftwareGlNames[] = {"llvmpipe", "softpipe", "swrast", "software rasterizer",
                                       "swiftshader"};

// True when a renderer of this name (and SDL's acceleration flag) draws on
// the processor rather than a graphics card.
bool softwareDriver(const std::string& renderer, bool accelerated) {
    if (!accelerated) return true;
    std::string lower = renderer;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* name : SoftwareGlNames)
        if (lower.find(name) != std::string::npos) return true;
    return false;
}

// What the GL driver of a just-made SDL renderer calls itself ("" when it is
// not a GL renderer or does not say).
std::string glRendererName(SDL_Renderer* renderer) {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) != 0 || std::strncmp(info.name, "opengl", 6) != 0)
        return "";
    std::string hosted = HostGlRenderer();
    if (!hosted.empty()) return hosted;
    using GetString = const unsigned char* (*)(unsigned);
    auto get = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
    const unsigned GlRenderer = 0x1F01;
    const unsigned char* name = get && SDL_GL_GetCurrentContext() ? get(GlRenderer) : nullptr;
    return name ? reinterpret_cast<const char*>(name) : "";
}

// Notes what the chosen engine's driver is and what draws; true when the
// driver is a software one, so that the rasteriser should draw instead.
bool judgeDriver(const std::string& engine, const std::string& renderer, bool accelerated) {
    bool software = softwareDriver(renderer, accelerated);
    videoState.driverReport =
        engine + " driver \"" + (renderer.empty() ? "?" : renderer) + "\" " +
        (accelerated ? "accelerated" : "not accelerated") +
        (software ? ", draws on the processor: the rasteriser draws" : ": " + engine + " draws");
    return software;
}

// The rasteriser's view of the logical screen: scaled to fit the physical
// picture, centred, with bars on the sides that do not fit (as SDL letterboxes).
void applyRasterView() {
    RasterCanvas& canvas = videoState.canvas;
    int pw = canvas.width, ph = canvas.height;
    int lw = videoState.logicalWidth, lh = videoState.logicalHeight;
    if (lw <= 0 || lh <= 0 || pw <= 0 || ph <= 0)
        return RasterSetView(canvas, 1, 0, 0, 0, 0, pw, ph);
    float want = float(lw) / float(lh), real = float(pw) / float(ph);
    if (std::fabs(want - real) < 0.0001f) {
        RasterSetView(canvas, float(pw) / float(lw), 0, 0, 0, 0, pw, ph);
    } else if (want > real) {
        float scale = float(pw) / float(lw);
        int h = int(std::floor(float(lh) * scale)), y = (ph - h) / 2;
        RasterSetView(canvas, scale, 0, float(y), 0, y, pw, h);
    } else {
        float scale = float(ph) / float(lh);
        int w = int(std::floor(float(lw) * scale)), x = (pw - w) / 2;
        RasterSetView(canvas, scale, float(x), 0, x, 0, w, ph);
    }
}

// True when a window surface takes the picture's pixels as they are.
bool sameLayout(const SDL_Surface* surface) {
    return !SDL_MUSTLOCK(surface) && (surface->format->format == SDL_PIXELFORMAT_ARGB8888 ||
                                      surface->format->format == SDL_PIXELFORMAT_RGB888);
}

// Opens the rasteriser's picture for a window surface: drawn straight into
// the surface when its rows lie back to back in the picture's layout (no copy
// at the end of a frame), else in the canvas's own pixels copied over.
bool openRasterOn(SDL_Surface* surface) {
    RasterCanvas& canvas = videoState.canvas;
    if (surface && sameLayout(surface) && surface->pitch == surface->w * 4)
        return RasterOpenOn(canvas, static_cast<uint32_t*>(surface->pixels), surface->w,
                            surface->h);
    return surface ? RasterOpen(canvas, surface->w, surface->h) : false;
}

// Makes the rasteriser's picture for a window; false when it cannot start.
bool openRaster(SDL_Window* window, std::string& why) {
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    // Without worker threads the picture is drawn on the calling thread alone.
    if (!HostThreadsAvailable()) videoState.canvas.threads = 1;
    // Offscreen nobody sees the window, so the picture is never copied to it.
    SDL_Surface* surface = videoState.headless ? nullptr : SDL_GetWindowSurface(window);
    if (!videoState.headless && !surface) {
        why = SDL_GetError();
        return false;
    }
    if (surface ? !openRasterOn(surface) : !RasterOpen(videoState.canvas, w, h)) {
        why = "no memory for a picture of " + std::to_string(w) + "x" + std::to_string(h);
        return false;
    }
    videoState.raster = true;
    return true;
}

// Shows the finished picture in the window, on the main thread (SDL's video
// calls belong to it). Drawn in the window's surface itself, the picture only
// needs the window updated; otherwise the workers copy each band of rows into
// the surface as soon as it is drawn, so the copy overlaps the end of the
// drawing. A window that changed size gets a picture of its new size for the
// next frame.
void presentRaster() {
    RasterCanvas& canvas = videoState.canvas;
    if (videoState.headless || !videoState.window) return RasterFlush(canvas);
    if (canvas.lent) {
        // Drawn in the surface itself: every quad must land before SDL is
        // asked for the surface, which it replaces after a resize.
        RasterFlush(canvas);
        SDL_Surface* surface = SDL_GetWindowSurface(videoState.window);
        if (surface && surface->pixels == canvas.lent && surface->w == canvas.width &&
            surface->h == canvas.height) {
            SDL_UpdateWindowSurface(videoState.window);
            return;
        }
        // The window changed size: this frame went with the old surface, the
        // next one is drawn in the new.
        canvas.lent = nullptr;
        if (surface && openRasterOn(surface)) {
            videoState.physicalWidth = surface->w;
            videoState.physicalHeight = surface->h;
            applyRasterView();
        }
        return;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(videoState.window);
    if (!surface) return RasterFlush(canvas);
    if (sameLayout(surface)) {
        RasterFlushTo(canvas, surface->pixels, surface->pitch, surface->w, surface->h);
    } else {
        RasterFlush(canvas);
        int w = std::min(surface->w, canvas.width), h = std::min(surface->h, canvas.height);
        if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
        SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_ARGB8888, canvas.pixels.data(), canvas.width * 4,
                          surface->format->format, surface->pixels, surface->pitch);
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    }
    SDL_UpdateWindowSurface(videoState.window);
    if ((surface->w != canvas.width || surface->h != canvas.height) && openRasterOn(surface)) {
        videoState.physicalWidth = surface->w;
        videoState.physicalHeight = surface->h;
        applyRasterView();
    }
}

// Applies the logical size to the open renderer.
void applyLogicalSize() {
    if (videoState.raster) return applyRasterView();
    if (!videoState.renderer) return;
    FlushBatch();
    SDL_RenderSetLogicalSize(videoState.renderer, videoState.logicalWidth,
                             videoState.logicalHeight);
}

// Opens an SDL window of this size and mode; nullptr (error set) when it cannot.
SDL_Window* makeWindow(int width, int height, int depth, int refresh) {
    Uint32 flags = SDL_WINDOW_SHOWN;
    if (depth > 0) flags |= SDL_WINDOW_FULLSCREEN;
    const char* title = videoState.title.empty() ? "" : videoState.title.c_str();
    HostNewWindow();
    SDL_Window* window = SDL_CreateWindow(title, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                          width, height, flags);
    if (!window) {
        SetPlatformError(std::string("cannot open a window: ") + SDL_GetError());
        return nullptr;
    }
    if (depth > 0) {
        SDL_DisplayMode mode{};
        mode.w = width;
        mode.h = height;
        mode.refresh_rate = refresh;
        SDL_SetWindowDisplayMode(window, &mode);
    }
    return window;
}

// Opens the SDL window and the first renderer that works, asked engine first.
bool openSdlDisplay(int width, int height, int depth, int refresh) {
    SDL_Window* window = makeWindow(width, height, depth, refresh);
    if (!window) return false;
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
        // The "software" engine is our own rasteriser, SDL's when that cannot start.
        std::string why;
        if (order[i] == 2 && !videoState.sdlSoftware && openRaster(window, why)) {
            videoState.window = window;
            videoState.engineName = name;
            videoState.vsync = 0;
            return true;
        }
        if (!why.empty()) failures += std::string(failures.empty() ? "" : "; ") + "raster: " + why;
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
        // A GL engine on a driver without a graphics card is slower than the
        // rasteriser: the rasteriser draws instead, on the same window.
        SDL_RendererInfo info{};
        SDL_GetRendererInfo(renderer, &info);
        if (order[0] != 2 && !videoState.keepSoftwareGl &&
            judgeDriver(name, glRendererName(renderer),
                        (info.flags & SDL_RENDERER_ACCELERATED) != 0)) {
            SDL_DestroyRenderer(renderer);
            // A browser's canvas that had WebGL cannot show a plain picture.
            if (HostWindowKeepsItsGl()) {
                SDL_DestroyWindow(window);
                window = makeWindow(width, height, depth, refresh);
                if (!window) return false;
            }
            if (openRaster(window, why)) {
                int threads =
                    videoState.canvas.threads > 0 ? videoState.canvas.threads : RasterPoolSize();
                videoState.driverReport +=
                    " on " + std::to_string(threads) + (threads == 1 ? " thread" : " threads");
                videoState.window = window;
                videoState.engineName = EngineNames[2];
                videoState.vsync = 0;
                return true;
            }
            videoState.driverReport += " (the rasteriser could not start: " + why + ")";
            renderer = SDL_CreateRenderer(window, index, 0);
            if (!renderer) continue;
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
void VideoIdle() {
    if (videoState.raster) RasterSubmit(videoState.canvas);
}

void VideoWarpPointer(int logicalX, int logicalY) {
    if (videoState.window && videoState.raster) {
        const RasterCanvas& c = videoState.canvas;
        SDL_WarpMouseInWindow(videoState.window, int(float(logicalX) * c.scale + c.offsetX),
                              int(float(logicalY) * c.scale + c.offsetY));
        return;
    }
    if (!videoState.window || !videoState.renderer) return;
    int wx = 0, wy = 0;
    SDL_RenderLogicalToWindow(videoState.renderer, float(logicalX), float(logicalY), &wx, &wy);
    SDL_WarpMouseInWindow(videoState.window, wx, wy);
}

// Window to logical coordinates under the rasteriser's letterboxing.
void VideoWindowToLogical(int& x, int& y) {
    if (!videoState.raster) return;
    const RasterCanvas& c = videoState.canvas;
    x = int((float(x) - c.offsetX) / c.scale);
    y = int((float(y) - c.offsetY) / c.scale);
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

void KeepSoftwareGl(bool on) {
    videoState.keepSoftwareGl = on;
}

void UseSdlSoftwareRenderer(bool on) {
    videoState.sdlSoftware = on;
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
    if (videoState.recording && videoState.refuseOpen) {
        SetPlatformError("cannot open the display (the recording back-end refuses it)");
        return false;
    }
    videoState.driverReport.clear();
    if (videoState.recording) {
        videoState.engineName = EngineNames[videoState.engine];
        if (videoState.engine != 2 &&
            judgeDriver(EngineNames[videoState.engine], videoState.recordedDriver,
                        videoState.recordedAccelerated))
            videoState.engineName = EngineNames[2];
    } else {
        if (!openSdlDisplay(width, height, depth, refresh)) return false;
        int w = width, h = height;
        if (videoState.raster)
            w = videoState.canvas.width, h = videoState.canvas.height;
        else
            SDL_GetRendererOutputSize(videoState.renderer, &w, &h);
        width = w, height = h;
        SDL_ShowCursor(videoState.pointerVisible ? SDL_ENABLE : SDL_DISABLE);
    }
    videoState.open = true;
    videoState.physicalWidth = width;
    videoState.physicalHeight = height;
    if (videoState.raster) {
        applyLogicalSize();
    } else if (!videoState.recording) {
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
    if (videoState.raster) {
        RasterClose(videoState.canvas);
        videoState.raster = false;
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

// What the last display's driver was found to be and what draws, in one line.
const std::string& DisplayDriverReport() {
    return videoState.driverReport;
}

// What the recording back-end's GL engines report as their driver.
void SetRecordedDriver(const std::string& renderer, bool accelerated) {
    videoState.recordedDriver = renderer;
    videoState.recordedAccelerated = accelerated;
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
    } else if (videoState.raster) {
        presentRaster();
        VideoExportFlip();
    } else if (videoState.renderer) {
        FlushBatch();
        VideoExportFlip();
        int wanted = sync < 0 ? videoState.vsync : (sync > 0 ? 1 : 0);
        if (wanted != videoState.vsync && SDL_RenderSetVSync(videoState.renderer, wanted) == 0)
            videoState.vsync = wanted;
        SDL_RenderPresent(videoState.renderer);
    }
    PumpInput();
    InputFrameShown();
    HostFramePresented();
}

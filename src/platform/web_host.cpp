// web_host.cpp - the browser as host: control handed back to the page
// whenever the game waits or shows a frame, worker threads in the threaded
// variant (loaded only where the page is cross-origin isolated), and what the
// page's WebGL really draws on.
//
// The game's screens are plain loops; built with Asyncify, a wait here
// unwinds them, lets the browser run (draw the canvas, deliver input, play
// sound) and resumes them where they stood. Waits end on the browser's
// animation frames, so the game is paced by the display like any web page.
#include "platform/internal.h"

#include <emscripten.h>
#include <sys/stat.h>

namespace {

struct WebHost {
    bool yielded = false; // the page got control back since the last frame

    // Emscripten starts with a umask of 0777, so every file saved through a
    // temporary one would end with no permissions at all and could not be
    // read back after a reload: files get the desktop's usual 0644.
    WebHost() { umask(022); }
};

WebHost host;

} // namespace

// Resumes at the next animation frame; a hidden page (which gets none) after
// a tenth of a second.
EM_JS(void, zpWaitAnimationFrame, (), {
    Asyncify.handleSleep(function(wakeUp) {
        var woken = false;
        var wake = function() {
            if (!woken) {
                woken = true;
                wakeUp();
            }
        };
        requestAnimationFrame(wake);
        setTimeout(wake, 100);
    });
});

// Only the threaded variant has worker threads; the other one draws on one.
bool HostThreadsAvailable() {
#ifdef __EMSCRIPTEN_PTHREADS__
    return true;
#else
    return false;
#endif
}

// Writes the renderer behind the current WebGL context into out: the
// unmasked name where the browser tells it (WEBGL_debug_renderer_info),
// else the plain one; "" without a context, or when the page asked to keep
// WebGL whatever draws it (?keep-webgl: the tests compare WebGL's pictures).
EM_JS(void, zpWebGlRenderer, (char* out, int size), {
    var gl = typeof GLctx == 'undefined' ? null : GLctx;
    var name = String();
    if (gl && !Module.ZP.keepWebGl) {
        var info = gl.getExtension('WEBGL_debug_renderer_info');
        name = gl.getParameter(info ? info.UNMASKED_RENDERER_WEBGL : gl.RENDERER) || String();
    }
    stringToUTF8(String(name), out, size);
});

// What the page's WebGL draws on (the GL name WebGL itself gives is only
// "WebKit WebGL"): a software renderer such as SwiftShader is seen here.
std::string HostGlRenderer() {
    char name[256] = "";
    zpWebGlRenderer(name, int(sizeof name));
    return name;
}

// A canvas keeps the first kind of context it was given, WebGL or 2D.
bool HostWindowKeepsItsGl() {
    return true;
}

// Each window after the first gets a fresh canvas in the old one's place
// (web/loader.js), so that any engine can draw on it.
void HostNewWindow() {
    EM_ASM({ Module.ZP.freshCanvas(); });
}

// Waits on animation frames until ms have passed (one frame at least).
void HostSleep(int ms) {
    double until = emscripten_get_now() + ms;
    do zpWaitAnimationFrame();
    while (emscripten_get_now() < until);
    host.yielded = true;
}

// Counts the frame for the page (the benchmark reads it) and lets the page
// show it, unless it already got control since the last one (the pacing sleep
// waits for the animation frame itself). On the virtual clock the game runs
// as fast as the page lets it.
void HostFramePresented() {
    EM_ASM({ Module.ZP.frames = (Module.ZP.frames || 0) + 1; });
    if (!host.yielded) {
        if (ClockIsVirtual())
            emscripten_sleep(0);
        else
            zpWaitAnimationFrame();
    }
    host.yielded = false;
}

// fuzz_support.h - what every fuzz target shares: the platform started once
// on its doubles, a private scratch folder per process, and writing the input
// there as a file so that the real readers open it the way the game does.
#pragma once

#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

// Stops the fuzzer with a message when a property of the readers fails; the
// abort makes libFuzzer keep the input as a crash file.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Starts the platform on the doubles (recording video, silent audio, virtual
// clock); headless puts the real SDL renderer on the offscreen driver instead,
// so that fonts are rasterised as in the game.
inline void StartFuzzPlatform(bool headless = false) {
    PlatformConfig config;
    config.recordingVideo = !headless;
    config.headless = headless;
    config.virtualClock = true;
    config.silentAudio = true;
    config.endThrows = true;
    config.startTime = "2026-12-07 18:05:09";
    config.seed = 1;
    if (!PlatformInit(config)) {
        std::fprintf(stderr, "PlatformInit: %s\n", PlatformError().c_str());
        std::abort();
    }
}

// A scratch folder private to this process, made once; returns its path with
// a trailing "/". It lies in memory when it can: the savers sync every file.
inline const std::string& FuzzDir() {
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = tmp && *tmp ? tmp : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/zp-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern + "/";
    }();
    return dir;
}

// Writes the bytes as a whole file; aborts when the scratch folder is unusable.
inline void WriteFuzzFile(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
}

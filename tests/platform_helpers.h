// platform_helpers.h - small helpers shared by the platform's own tests.
#pragma once

#include "platform/platform.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

// A fresh temporary file path.
inline std::string TempPath(const std::string& tag) {
    std::string pattern = "/tmp/zp-" + tag + "-XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd >= 0) close(fd);
    return pattern;
}

inline std::string WriteTemp(const std::string& tag, const std::string& bytes) {
    std::string path = TempPath(tag);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts the platform with no window, throwing EndProcess, on a fixed seed
// unless one is given;
// the caller's config adds the rest.
inline bool StartPlatform(PlatformConfig config) {
    PlatformShutdown();
    config.recordingVideo = true;
    config.endThrows = true;
    if (config.seed < 0) config.seed = 1;
    return PlatformInit(config);
}

inline void PutLittle(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) out += char((v >> (8 * i)) & 0xFF);
}

// A PCM WAV file of a 440 Hz tone at 80% volume; bits 8 or 16, 1 or 2 channels.
inline std::string WriteTone(int rate, int frames, int bits = 16, int channels = 1) {
    std::string data;
    for (int i = 0; i < frames; i++) {
        double s = std::sin(2 * M_PI * 440.0 * i / rate) * 0.8;
        for (int c = 0; c < channels; c++)
            PutLittle(data, bits == 8 ? uint32_t(128 + int(s * 127)) : uint16_t(int16_t(s * 32767)),
                      bits / 8);
    }
    std::string wav = "RIFF";
    PutLittle(wav, uint32_t(36 + data.size()), 4);
    wav += "WAVEfmt ";
    PutLittle(wav, 16, 4);
    PutLittle(wav, 1, 2); // PCM
    PutLittle(wav, uint32_t(channels), 2);
    PutLittle(wav, uint32_t(rate), 4);
    PutLittle(wav, uint32_t(rate * channels * bits / 8), 4);
    PutLittle(wav, uint32_t(channels * bits / 8), 2);
    PutLittle(wav, uint32_t(bits), 2);
    wav += "data";
    PutLittle(wav, uint32_t(data.size()), 4);
    return WriteTemp("tone", wav + data);
}

// music_render.cpp - renders a music track offline into a WAV file.
//
// Runs the game's own music player on the virtual clock and pulls its mix
// from the loopback sound device one millisecond at a time, so the same
// arrangement, seed and length always give the same bytes. Used to listen to
// an arrangement without starting the game.
#include "music/music.h"
#include "platform/platform.h"
#include "shell/shell.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const int SampleRate = 44100;

void usage() {
    std::fprintf(stderr, "usage: music-render NAME SEED SECONDS OUT.wav [--files DIR] [--beat MS] "
                         "[--full]\n"
                         "  NAME     arrangement music/NAME.ini in the game folder\n"
                         "  SEED     whole number (-1 takes one from the clock and names it)\n"
                         "  SECONDS  length to render, above 0 and at most 3600\n"
                         "  --files  the Files folder (default: Files/ beside this program)\n"
                         "  --beat   beat length in milliseconds (default 500)\n"
                         "  --full   master and music volume 100 instead of 50\n");
}

// A whole number from the whole text, or false.
bool wholeNumber(const char* text, long& out) {
    char* end = nullptr;
    out = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && out >= INT32_MIN && out <= INT32_MAX;
}

void putLittle(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; i++) out += char((value >> (8 * i)) & 0xFF);
}

// Writes 16-bit stereo samples as a PCM WAV file; false when it cannot.
bool writeWav(const std::string& path, const std::vector<int16_t>& samples) {
    uint32_t dataBytes = uint32_t(samples.size() * sizeof(int16_t));
    std::string header = "RIFF";
    putLittle(header, 36 + dataBytes, 4);
    header += "WAVEfmt ";
    putLittle(header, 16, 4);
    putLittle(header, 1, 2); // PCM
    putLittle(header, 2, 2); // stereo
    putLittle(header, SampleRate, 4);
    putLittle(header, SampleRate * 4, 4);
    putLittle(header, 4, 2);
    putLittle(header, 16, 2);
    header += "data";
    putLittle(header, dataBytes, 4);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(header.data(), std::streamsize(header.size()));
    for (int16_t s : samples) {
        char bytes[2] = {char(uint16_t(s) & 0xFF), char(uint16_t(s) >> 8)};
        out.write(bytes, 2);
    }
    return bool(out.flush());
}

// A seed from the calendar clock, 1 to 2147483646. The player's own "from the
// clock" is the time since start, always 0 on the virtual clock the tool runs
// on, so every such track would be the same one.
long seedFromClock() {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    return long((ms % 2147483646 + 2147483646) % 2147483646 + 1);
}

// The Files folder beside this program.
std::string defaultFilesDir() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "Files";
    return (self.parent_path() / "Files").string();
}

} // namespace

// Renders the track named on the command line; exit status 0 on success.
int main(int argc, char** argv) {
    if (argc < 5) {
        usage();
        return 2;
    }
    std::string name = argv[1], outPath = argv[4], filesDir = defaultFilesDir();
    long seed = 0, beat = 500;
    double seconds = std::strtod(argv[3], nullptr);
    bool full = false;
    bool good = wholeNumber(argv[2], seed) && seconds > 0 && seconds <= 3600;
    for (int i = 5; i < argc && good; i++) {
        std::string option = argv[i];
        if (option == "--files" && i + 1 < argc)
            filesDir = argv[++i];
        else if (option == "--beat" && i + 1 < argc)
            good = wholeNumber(argv[++i], beat) && beat > 1;
        else if (option == "--full")
            full = true;
        else
            good = false;
    }
    if (!good) {
        usage();
        return 2;
    }
    // The seed is named at the end, so a track taken from the clock can be made again.
    if (seed == -1) seed = seedFromClock();

    // The output is named from where the tool was started, before moving into the game folder.
    outPath = std::filesystem::absolute(outPath).string();
    PlatformConfig config;
    config.recordingVideo = true;
    config.virtualClock = true;
    config.silentAudio = true;
    if (!PlatformInit(config)) {
        std::fprintf(stderr, "music-render: the platform did not start: %s\n",
                     PlatformError().c_str());
        return 1;
    }
    std::string gameDir = filesDir + "/" + std::to_string(GameNumber);
    if (!ChangeDir(gameDir)) {
        std::fprintf(stderr, "music-render: no game folder %s\n", gameDir.c_str());
        return 1;
    }
    if (!OpenLoopbackAudio(SampleRate)) {
        std::fprintf(stderr, "music-render: %s\n", PlatformError().c_str());
        return 1;
    }
    LoadMusicStems();
    shell.Settings[slot::MasterVolume] = full ? 100 : 50;
    shell.Settings[slot::MusicVolume] = full ? 100 : 50;
    StartMusic(name, int(seed), int(beat));
    if (!music.MusicPlaying) {
        std::fprintf(stderr, "music-render: no arrangement %s/music/%s.ini\n", gameDir.c_str(),
                     name.c_str());
        return 1;
    }

    int64_t totalFrames = int64_t(seconds * SampleRate);
    std::vector<int16_t> samples(size_t(totalFrames) * 2);
    int64_t rendered = 0;
    for (int64_t ms = 1; rendered < totalFrames; ms++) {
        SleepMillis(1);
        MusicTick();
        int64_t due = std::min(totalFrames, ms * SampleRate / 1000);
        RenderAudio(samples.data() + rendered * 2, int(due - rendered));
        rendered = due;
    }
    StopMusic();
    PlatformShutdown();
    if (!writeWav(outPath, samples)) {
        std::fprintf(stderr, "music-render: could not write %s\n", outPath.c_str());
        return 1;
    }
    std::printf("music-render: %s seed %d, %.3f s -> %s\n", name.c_str(), music.MusicSeed, seconds,
                outPath.c_str());
    return 0;
}

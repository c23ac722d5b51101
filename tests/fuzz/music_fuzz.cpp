// music_fuzz.cpp - throws arbitrary bytes at the arrangement reader and the
// arranger and step player that work from what it read.
//
// Each input is written as music/fuzz.ini beside a small set of stems made at
// start, started with a seed taken from the input and played for a few bars
// on the virtual clock. Pattern counts stay inside the table, every voice
// holds at most one channel, and stopping frees them all.
#include "fuzz_support.h"
#include "music/music.h"
#include "platform/recording.h"
#include "shell/shell.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// A short 16-bit mono WAV of a square wave.
std::string tinyWav() {
    const int samples = 64;
    std::string data;
    for (int i = 0; i < samples; i++) {
        int16_t v = (i / 8) % 2 ? 8000 : -8000;
        data.append(reinterpret_cast<const char*>(&v), 2);
    }
    auto u32 = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    return "RIFF" + u32(uint32_t(36 + data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(1) +
           u32(8000) + u32(16000) + u16(2) + u16(16) + "data" + u32(uint32_t(data.size())) + data;
}

void writeText(const std::string& path, const std::string& text) {
    WriteFuzzFile(path, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzPlatform();
    if (!ChangeDir(FuzzDir()) || !MakeDir("music")) std::abort();
    // Both drum kits whole, bass 1-3, lead 1 and 2, accompaniment 1 only.
    const std::string wav = tinyWav();
    for (int n = 1; n <= 8; n++) {
        writeText("music/d1-" + std::to_string(n) + ".wav", wav);
        writeText("music/d2-" + std::to_string(n) + ".wav", wav);
    }
    for (int n = 1; n <= 3; n++) writeText("music/bass" + std::to_string(n) + ".wav", wav);
    for (int n = 1; n <= 2; n++) writeText("music/lead" + std::to_string(n) + ".wav", wav);
    writeText("music/accompany1.wav", wav);
    LoadMusicStems();
    if (music.StemCount[1] != 3 || music.StemCount[2] != 2 || music.StemCount[3] != 1) {
        std::fprintf(stderr, "stems did not load: %s\n", PlatformError().c_str());
        std::abort();
    }
    shell.Settings[slot::MasterVolume] = 50;
    shell.Settings[slot::MusicVolume] = 50;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first two bytes choose the seed and the beat; the rest is the file.
    int seed = size > 0 ? data[0] : 0;
    int beat = size > 1 ? 2 * (data[1] % 64) : 100;
    size_t skip = size < 2 ? size : 2;
    WriteFuzzFile("music/fuzz.ini", data + skip, size - skip);

    StartMusic("fuzz", seed, beat);
    FUZZ_CHECK(music.MusicPlaying == 1);
    for (int s = 0; s < 5; s++) {
        FUZZ_CHECK(music.PatternCount[s] >= 0 && music.PatternCount[s] <= MaxPatternLines);
        FUZZ_CHECK(music.StretchMode[s] >= -2 && music.StretchMode[s] <= 2);
    }
    // A few bars: the arranger runs again at every 64th step.
    for (int step = 0; step < 200; step++) {
        SleepMillis(music.StepLength > 0 ? music.StepLength : 1);
        MusicTick();
        FUZZ_CHECK(music.StepIndex >= -1 && music.StepIndex < 64);
        FUZZ_CHECK(OpenChannelCount() <= 5);
        for (int v = 0; v < 5; v++) {
            // While a voice's channel holds a sound, it is one of the voice's
            // own stems (a finished note's channel may be reclaimed: no sound).
            int sound = ChannelSound(music.MusicChannel[v]), family = 0;
            if (sound == 0) continue;
            for (int n = 1; n <= 8; n++) family += music.MusicStems[n + 10 * v] == sound;
            FUZZ_CHECK(family >= 1);
        }
    }
    StopMusic();
    FUZZ_CHECK(OpenChannelCount() == 0);
    return 0;
}

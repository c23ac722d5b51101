// wav_fuzz.cpp - throws arbitrary bytes at the WAV sound loader and plays
// what it accepts through OpenAL Soft's loopback device.
//
// A sound that loads is cued, played at a rate taken from the input, mixed
// for a moment and stopped; its channel must be freed again.
#include "fuzz_support.h"

#include <cstdint>
#include <cstdlib>

namespace {

int inputs = 0;

// A fresh platform with the loopback device as the active sound back-end.
void start() {
    StartFuzzPlatform();
    if (!OpenLoopbackAudio(22050)) {
        std::fprintf(stderr, "no loopback sound device: %s\n", PlatformError().c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    start();
    if (!ChangeDir(FuzzDir())) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Freed sounds keep their (empty) slot; start afresh now and then.
    if (++inputs % 4096 == 0) start();
    WriteFuzzFile("in.wav", data, size);
    const int sound = LoadSound("in.wav");
    if (!sound) {
        FUZZ_CHECK(!PlatformError().empty());
        return 0;
    }
    const int channel = AllocChannel();
    FUZZ_CHECK(channel != 0);
    CueSound(sound, channel);
    SetRate(channel, 0.25f + float(data[size / 2] % 16) / 4.0f);
    SetPan(channel, -0.5f);
    SetVolume(channel, 0.8f);
    SetPaused(channel, false);
    int16_t mix[2 * 512];
    RenderAudio(mix, 512);
    RenderAudio(mix, 512);
    Stop(channel);
    FUZZ_CHECK(!Playing(channel));
    FUZZ_CHECK(OpenChannelCount() == 0);
    FreeSound(sound);
    return 0;
}

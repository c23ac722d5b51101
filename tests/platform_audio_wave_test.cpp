// platform_audio_wave_test.cpp - a sound really played through OpenAL Soft,
// captured by its wave-file writer instead of a sound card.
//
// OpenAL Soft reads its driver choice once per process, so this file holds
// the one test that needs the wave writer.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

void put(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) out += char((v >> (8 * i)) & 0xFF);
}

uint32_t get(const std::string& in, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; i++) v |= uint32_t(uint8_t(in[at + size_t(i)])) << (8 * i);
    return v;
}

// A 16-bit mono WAV of a 440 Hz tone.
std::string writeTone(const std::string& path, int rate, int frames) {
    std::string data;
    for (int i = 0; i < frames; i++)
        put(data, uint32_t(uint16_t(int16_t(std::sin(2 * M_PI * 440.0 * i / rate) * 30000))), 2);
    std::string wav = "RIFF";
    put(wav, uint32_t(36 + data.size()), 4);
    wav += "WAVEfmt ";
    put(wav, 16, 4);
    put(wav, 1, 2);
    put(wav, 1, 2);
    put(wav, uint32_t(rate), 4);
    put(wav, uint32_t(rate * 2), 4);
    put(wav, 2, 2);
    put(wav, 16, 2);
    wav += "data";
    put(wav, uint32_t(data.size()), 4);
    std::ofstream(path, std::ios::binary) << wav << data;
    return path;
}

} // namespace

TEST(OpenALOutput, PlayedSoundReachesTheWaveWriter) {
    std::string base = "/tmp/zp-wave-" + std::to_string(getpid());
    std::string out = base + "-out.wav", conf = base + ".conf";
    std::ofstream(conf) << "[general]\nsample-type = int16\nchannels = stereo\n"
                        << "frequency = 44100\n[wave]\nfile = " << out << "\n";
    setenv("ALSOFT_DRIVERS", "wave", 1);
    setenv("ALSOFT_CONF", conf.c_str(), 1);

    PlatformConfig config;
    config.recordingVideo = true;
    config.virtualClock = true;
    config.endThrows = true;
    config.seed = 1;
    ASSERT_TRUE(PlatformInit(config)) << PlatformError();
    ASSERT_TRUE(OpenALUsable());
    ASSERT_EQ(ActiveAudioDriver(), "OpenAL");

    int sound = LoadSound(writeTone(base + "-tone.wav", 22050, 2205)); // 100 ms
    ASSERT_NE(sound, 0) << PlatformError();
    int ch = AllocChannel();
    ASSERT_NE(ch, 0) << PlatformError();
    CueSound(sound, ch);
    SetVolume(ch, 1);
    SetPaused(ch, false);
    EXPECT_TRUE(Playing(ch));
    // The writer mixes on its own thread at the pace of a sound card, so this
    // one test has to wait for the sound to play out (bounded, not timed).
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Playing(ch) && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(Playing(ch));
    Stop(ch);
    PlatformShutdown(); // closes the device, which completes the file

    std::ifstream in(out, std::ios::binary);
    ASSERT_TRUE(in) << "no wave file written";
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string wav = bytes.str();
    ASSERT_GT(wav.size(), 44u);
    ASSERT_EQ(wav.substr(0, 4), "RIFF");
    // Walk the chunks to the samples.
    size_t at = 12;
    int bits = 0;
    while (at + 8 <= wav.size() && wav.substr(at, 4) != "data") {
        if (wav.substr(at, 4) == "fmt ") bits = int(get(wav, at + 8 + 14, 2));
        at += 8 + get(wav, at + 4, 4);
    }
    ASSERT_EQ(bits, 16);
    ASSERT_LT(at + 8, wav.size());
    int peak = 0;
    for (size_t i = at + 8; i + 1 < wav.size(); i += 2)
        peak = std::max(peak, std::abs(int(int16_t(get(wav, i, 2)))));
    EXPECT_GT(peak, 3000) << "the written output is silent";
    unlink(out.c_str());
    unlink(conf.c_str());
}

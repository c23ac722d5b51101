// platform_audio_wave_test.cpp - a sound really played through OpenAL Soft,
// captured by its wave-file writer instead of a sound card.
//
// OpenAL Soft reads its driver choice once per process, so this file holds
// the one test that needs the wave writer.
#include "platform_helpers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

TEST(OpenALOutput, PlayedSoundReachesTheWaveWriter) {
    std::string out = TempPath("wave-out");
    std::string conf = WriteTemp("wave-conf", "[general]\nsample-type = int16\n"
                                              "channels = stereo\n[wave]\nfile = " +
                                                  out + "\n");
    setenv("ALSOFT_DRIVERS", "wave", 1);
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    PlatformConfig config;
    config.virtualClock = true;
    ASSERT_TRUE(StartPlatform(config)) << PlatformError();
    ASSERT_TRUE(OpenALUsable());
    ASSERT_EQ(ActiveAudioDriver(), "OpenAL");

    int sound = LoadSound(WriteTone(22050, 2205)); // 100 ms
    ASSERT_NE(sound, 0) << PlatformError();
    int ch = AllocChannel();
    ASSERT_NE(ch, 0) << PlatformError();
    CueSound(sound, ch);
    SetPaused(ch, false);
    // The writer mixes on its own thread at the pace of a sound card, so this
    // one test waits for the sound to play out (bounded, nothing timed).
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Playing(ch) && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(Playing(ch));
    PlatformShutdown(); // closing the device completes the file

    std::string wav = ReadAll(out);
    ASSERT_EQ(wav.substr(0, 4), "RIFF");
    auto get = [&](size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = 0; i < bytes; i++) v |= uint32_t(uint8_t(wav[at + size_t(i)])) << (8 * i);
        return v;
    };
    size_t at = 12; // walk the chunks to the samples
    while (at + 8 <= wav.size() && wav.substr(at, 4) != "data") at += 8 + get(at + 4, 4);
    ASSERT_LT(at + 8, wav.size());
    int peak = 0;
    for (size_t i = at + 8; i + 1 < wav.size(); i += 2)
        peak = std::max(peak, std::abs(int(int16_t(get(i, 2)))));
    EXPECT_GT(peak, 3000) << "the written output is silent";
}

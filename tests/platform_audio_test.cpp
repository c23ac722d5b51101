// platform_audio_test.cpp - sounds and channels without a sound card: the
// silent back-end on the platform clock, no OpenAL device at all, and the
// loopback back-end that renders the mix into memory.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace {

// Writes a little-endian number of the given byte width.
void put(std::string& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) out += char((v >> (8 * i)) & 0xFF);
}

// Writes a PCM WAV file of a sine tone; bits 8 or 16, channels 1 or 2.
std::string writeTone(const std::string& name, int rate, int frames, int bits = 16,
                      int channels = 1) {
    std::string data;
    for (int i = 0; i < frames; i++) {
        double s = std::sin(2 * M_PI * 440.0 * i / rate) * 0.8;
        for (int c = 0; c < channels; c++) {
            if (bits == 8)
                put(data, uint32_t(128 + int(s * 127)), 1);
            else
                put(data, uint32_t(uint16_t(int16_t(s * 32767))), 2);
        }
    }
    std::string wav = "RIFF";
    put(wav, uint32_t(36 + data.size()), 4);
    wav += "WAVEfmt ";
    put(wav, 16, 4);
    put(wav, 1, 2); // PCM
    put(wav, uint32_t(channels), 2);
    put(wav, uint32_t(rate), 4);
    put(wav, uint32_t(rate * channels * bits / 8), 4);
    put(wav, uint32_t(channels * bits / 8), 2);
    put(wav, uint32_t(bits), 2);
    wav += "data";
    put(wav, uint32_t(data.size()), 4);
    wav += data;
    std::string path = "/tmp/zp-audio-" + std::to_string(getpid()) + "-" + name + ".wav";
    std::ofstream(path, std::ios::binary) << wav;
    return path;
}

// Starts the platform on the virtual clock with no usable sound device.
void start(bool silent) {
    // No OpenAL driver can open: this machine may have no sound card, and the
    // tests must not depend on one. Set before the first OpenAL call.
    setenv("ALSOFT_DRIVERS", "no-such-driver", 1);
    PlatformShutdown();
    PlatformConfig config;
    config.recordingVideo = true;
    config.virtualClock = true;
    config.silentAudio = silent;
    config.endThrows = true;
    config.seed = 1;
    ASSERT_TRUE(PlatformInit(config)) << PlatformError();
}

// Peak absolute sample of the left and right channels.
void peaks(const std::vector<int16_t>& mix, int& left, int& right) {
    left = right = 0;
    for (size_t i = 0; i + 1 < mix.size(); i += 2) {
        left = std::max(left, std::abs(int(mix[i])));
        right = std::max(right, std::abs(int(mix[i + 1])));
    }
}

} // namespace

TEST(SilentAudio, PlayingLastsTheSoundsLengthOnTheClock) {
    start(true);
    EXPECT_EQ(ActiveAudioDriver(), "Silent");
    int sound = LoadSound(writeTone("tone", 8000, 800)); // 100 ms
    ASSERT_NE(sound, 0) << PlatformError();
    int ch = AllocChannel();
    ASSERT_NE(ch, 0);
    CueSound(sound, ch);
    SleepMillis(50);
    EXPECT_FALSE(Playing(ch)); // cued paused: not started yet
    SetPaused(ch, false);
    EXPECT_TRUE(Playing(ch));
    SleepMillis(60);
    SetPaused(ch, true); // 60 ms played; the pause holds it
    SleepMillis(500);
    EXPECT_TRUE(Playing(ch));
    SetPaused(ch, false);
    SleepMillis(39);
    EXPECT_TRUE(Playing(ch));
    SleepMillis(1);
    EXPECT_FALSE(Playing(ch));
    EXPECT_EQ(OpenChannelCount(), 1); // finished but still held until reclaimed
    PlatformShutdown();
}

TEST(SilentAudio, StopFreesAndFinishedChannelsAreReclaimed) {
    start(true);
    int sound = LoadSound(writeTone("short", 8000, 80)); // 10 ms
    ASSERT_NE(sound, 0);
    int a = AllocChannel();
    CueSound(sound, a);
    SetPaused(a, false);
    int b = AllocChannel();
    CueSound(sound, b); // cued but never started: must survive reclaiming
    int c = AllocChannel();
    CueSound(sound, c);
    SetPaused(c, false);
    EXPECT_EQ(OpenChannelCount(), 3);
    Stop(c);
    EXPECT_FALSE(Playing(c));
    EXPECT_EQ(OpenChannelCount(), 2);

    SleepMillis(20); // a has finished
    int d = AllocChannel();
    EXPECT_EQ(OpenChannelCount(), 2); // a reclaimed, d added, b kept
    EXPECT_NE(d, a);                  // handles are never reused
    SetPaused(b, false);
    EXPECT_TRUE(Playing(b));
    EXPECT_FALSE(Playing(a));
    SetPaused(a, false); // a stale handle reaches nothing
    EXPECT_FALSE(Playing(a));

    // A long session of short effects holds a bounded number of channels.
    for (int i = 0; i < 1000; i++) {
        int ch = AllocChannel();
        CueSound(sound, ch);
        SetPaused(ch, false);
        SleepMillis(16);
    }
    EXPECT_LE(OpenChannelCount(), 4);
    PlatformShutdown();
}

TEST(SilentAudio, BadFilesAndHandleZeroAreHarmless) {
    start(true);
    EXPECT_EQ(LoadSound("/nonexistent/boom.wav"), 0);
    EXPECT_NE(PlatformError().find("boom.wav"), std::string::npos);
    std::string junk = "/tmp/zp-audio-" + std::to_string(getpid()) + "-junk.wav";
    std::ofstream(junk, std::ios::binary) << "RIFF\x10\0\0\0WAVEfmt garbage";
    EXPECT_EQ(LoadSound(junk), 0);
    std::string truncated = writeTone("cut", 8000, 400);
    ASSERT_EQ(truncate(truncated.c_str(), 30), 0); // header cut mid-way
    EXPECT_EQ(LoadSound(truncated), 0);

    CueSound(0, 0);
    SetPaused(0, false);
    SetVolume(0, 1);
    SetPan(0, 1);
    SetRate(0, 2);
    Stop(0);
    FreeSound(0);
    EXPECT_FALSE(Playing(0));
    EXPECT_EQ(OpenChannelCount(), 0);
    PlatformShutdown();
}

TEST(SilentAudio, FreeingASoundStopsItsChannels) {
    start(true);
    int sound = LoadSound(writeTone("freed", 8000, 8000));
    int ch = AllocChannel();
    CueSound(sound, ch);
    SetPaused(ch, false);
    FreeSound(sound);
    EXPECT_FALSE(Playing(ch));
    EXPECT_EQ(OpenChannelCount(), 0);
    int other = AllocChannel();
    CueSound(sound, other); // the freed handle cues nothing
    SetPaused(other, false);
    EXPECT_FALSE(Playing(other));
    PlatformShutdown();
}

TEST(NoSoundDevice, FallsBackToSilenceAndKeepsWorking) {
    start(false); // asks for OpenAL, but no device opens
    EXPECT_FALSE(OpenALUsable());
    EXPECT_EQ(ActiveAudioDriver(), "Silent");
    std::vector<std::string> names = AudioDriverNames();
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], "OpenAL");
    EXPECT_EQ(names[1], "Silent");
    EXPECT_TRUE(AudioDriverExists("OpenAL"));
    EXPECT_FALSE(AudioDriverExists("DirectSound"));
    EXPECT_FALSE(SetAudioDriver("OpenAL"));
    EXPECT_EQ(ActiveAudioDriver(), "Silent");
    EXPECT_FALSE(SetAudioDriver("Bogus"));
    EXPECT_TRUE(SetAudioDriver("Silent"));

    int sound = LoadSound(writeTone("nodev", 8000, 160)); // 20 ms
    ASSERT_NE(sound, 0);
    int ch = AllocChannel();
    CueSound(sound, ch);
    SetVolume(ch, 0.5f);
    SetPan(ch, -1);
    SetRate(ch, 1000); // clamped, harmless
    SetPaused(ch, false);
    EXPECT_TRUE(Playing(ch));
    SleepMillis(20);
    EXPECT_FALSE(Playing(ch));
    PlatformShutdown();
}

TEST(LoopbackAudio, RendersTheMixPannedAndRepeatably) {
    auto render = [](float pan, int bits, int channels) {
        start(true);
        // Loaded while silent: the loopback device must rebuild its buffer.
        int sound = LoadSound(writeTone("loop", 22050, 4410, bits, channels));
        EXPECT_NE(sound, 0) << PlatformError();
        EXPECT_TRUE(OpenLoopbackAudio(44100)) << PlatformError();
        EXPECT_EQ(ActiveAudioDriver(), "Loopback");
        int ch = AllocChannel();
        CueSound(sound, ch);
        SetPan(ch, pan);
        std::vector<int16_t> mix(2 * 4096);
        RenderAudio(mix.data(), 4096);
        int l, r;
        peaks(mix, l, r);
        // Silent apart from OpenAL Soft's dither of a step or two.
        EXPECT_LE(l + r, 4) << "a cued sound must stay silent until unpaused";
        SetPaused(ch, false);
        RenderAudio(mix.data(), 4096);
        PlatformShutdown();
        return mix;
    };
    std::vector<int16_t> centre = render(0, 16, 1);
    int l, r;
    peaks(centre, l, r);
    EXPECT_GT(l, 5000);
    EXPECT_GT(r, 5000);
    EXPECT_NEAR(l, r, l / 20 + 2); // centred: both sides alike

    EXPECT_EQ(render(0, 16, 1), centre); // same calls, same bytes

    std::vector<int16_t> left = render(-1, 16, 1);
    peaks(left, l, r);
    EXPECT_GT(l, 5000);
    EXPECT_LT(r, l / 4); // panned hard left

    std::vector<int16_t> stereo8 = render(0, 8, 2); // 8-bit stereo is converted
    peaks(stereo8, l, r);
    EXPECT_GT(l, 5000);
    EXPECT_GT(r, 5000);
}

TEST(LoopbackAudio, RenderGivesSilenceOnOtherBackEnds) {
    start(true);
    std::vector<int16_t> mix(64, 1234);
    RenderAudio(mix.data(), 32);
    for (int16_t s : mix) EXPECT_EQ(s, 0);
    EXPECT_FALSE(OpenLoopbackAudio(-5));
    PlatformShutdown();
}

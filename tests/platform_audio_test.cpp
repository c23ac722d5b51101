// platform_audio_test.cpp - sounds and channels without a sound card: the
// silent back-end on the platform clock, no OpenAL device at all, and the
// loopback back-end that renders the mix into memory.
#include "platform/recording.h"
#include "platform_helpers.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// Starts on the virtual clock where no OpenAL driver can open (set before the
// first OpenAL call), so nothing depends on this machine's sound card.
void start(bool silent) {
    setenv("ALSOFT_DRIVERS", "no-such-driver", 1);
    PlatformConfig config;
    config.virtualClock = true;
    config.silentAudio = silent;
    ASSERT_TRUE(StartPlatform(config)) << PlatformError();
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
    int sound = LoadSound(WriteTone(8000, 800)); // 100 ms
    ASSERT_NE(sound, 0) << PlatformError();
    int ch = AllocChannel();
    CueSound(sound, ch);
    SleepMillis(50);
    EXPECT_FALSE(Playing(ch)); // cued paused: not started yet
    SetPaused(ch, false);
    SleepMillis(60);
    SetPaused(ch, true); // 60 ms played; the pause holds it
    SleepMillis(500);
    EXPECT_TRUE(Playing(ch));
    SetPaused(ch, false);
    SleepMillis(39);
    EXPECT_TRUE(Playing(ch));
    SleepMillis(1);
    EXPECT_FALSE(Playing(ch));
    PlatformShutdown();
}

TEST(SilentAudio, ChannelsTellTheirSoundAndTheRateAskedFor) {
    start(true);
    int sound = LoadSound(WriteTone(8000, 800));
    int ch = AllocChannel();
    EXPECT_EQ(ChannelSound(ch), 0);
    EXPECT_FLOAT_EQ(ChannelRate(ch), 1);
    CueSound(sound, ch);
    EXPECT_EQ(ChannelSound(ch), sound);
    SetRate(ch, 0.0f); // no pitch at all is kept as asked, not raised to the least one
    EXPECT_FLOAT_EQ(ChannelRate(ch), 0);
    SetRate(ch, 1.5f);
    EXPECT_FLOAT_EQ(ChannelRate(ch), 1.5f);
    SetRate(ch, -2.0f);
    EXPECT_FLOAT_EQ(ChannelRate(ch), 0);
    SetRate(ch, 1e9f);
    EXPECT_FLOAT_EQ(ChannelRate(ch), 255);
    Stop(ch);
    EXPECT_EQ(ChannelSound(ch), 0); // a stopped channel is gone
    PlatformShutdown();
}

TEST(SilentAudio, StopFreeAndReclaimKeepChannelsBounded) {
    start(true);
    int sound = LoadSound(WriteTone(8000, 80)); // 10 ms
    int a = AllocChannel(), b = AllocChannel(), c = AllocChannel();
    CueSound(sound, a);
    SetPaused(a, false);
    CueSound(sound, b); // cued but never started: must survive reclaiming
    CueSound(sound, c);
    SetPaused(c, false);
    Stop(c);
    EXPECT_FALSE(Playing(c));
    EXPECT_EQ(OpenChannelCount(), 2);

    SleepMillis(20); // a has finished
    int d = AllocChannel();
    EXPECT_EQ(OpenChannelCount(), 2); // a reclaimed, d added, b kept
    EXPECT_NE(d, a);                  // handles are never reused
    CueSound(sound, a);               // a stale handle reaches nothing
    SetPaused(a, false);
    EXPECT_FALSE(Playing(a));
    SetPaused(b, false);
    EXPECT_TRUE(Playing(b));
    FreeSound(sound); // freeing a sound stops what plays it
    EXPECT_FALSE(Playing(b));
    EXPECT_EQ(OpenChannelCount(), 1);

    // A long session of short effects holds a bounded number of channels.
    sound = LoadSound(WriteTone(8000, 80));
    for (int i = 0; i < 1000; i++) {
        int ch = AllocChannel();
        CueSound(sound, ch);
        SetPaused(ch, false);
        SleepMillis(16);
    }
    EXPECT_LE(OpenChannelCount(), 3);
    PlatformShutdown();
}

TEST(SilentAudio, BadFilesAndHandleZeroAreHarmless) {
    start(true);
    EXPECT_EQ(LoadSound("/nonexistent/boom.wav"), 0);
    EXPECT_NE(PlatformError().find("boom.wav"), std::string::npos);
    EXPECT_EQ(LoadSound(WriteTemp("junk", std::string("RIFF\x10\0\0\0WAVEfmt junk", 20))), 0);
    CueSound(0, 0);
    SetPaused(0, false);
    SetRate(0, 2);
    Stop(0);
    FreeSound(0);
    EXPECT_FALSE(Playing(0));
    EXPECT_EQ(OpenChannelCount(), 0);
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
    EXPECT_FALSE(SetAudioDriver("OpenAL"));
    EXPECT_EQ(ActiveAudioDriver(), "Silent");
    EXPECT_FALSE(SetAudioDriver("Bogus"));

    int ch = AllocChannel();
    CueSound(LoadSound(WriteTone(8000, 160)), ch); // 20 ms
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
        int sound = LoadSound(WriteTone(22050, 4410, bits, channels));
        EXPECT_TRUE(OpenLoopbackAudio(44100)) << PlatformError();
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
    EXPECT_NEAR(l, r, l / 20 + 2);       // centred: both sides alike
    EXPECT_EQ(render(0, 16, 1), centre); // same calls, same bytes

    peaks(render(-1, 16, 1), l, r);
    EXPECT_GT(l, 5000);
    EXPECT_LT(r, l / 4); // panned hard left

    peaks(render(0, 8, 2), l, r); // 8-bit stereo is converted
    EXPECT_GT(l, 5000);
    EXPECT_GT(r, 5000);

    start(true); // other back-ends render silence
    std::vector<int16_t> mix(64, 1234);
    RenderAudio(mix.data(), 32);
    EXPECT_EQ(mix, std::vector<int16_t>(64, 0));
    PlatformShutdown();
}

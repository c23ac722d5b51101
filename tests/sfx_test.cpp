// sfx_test.cpp - the sound-effect player: slot rotation, silence, clamping
// and the loudness it gives a channel.
#include "game/game.h"
#include "shell/shell.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

// Writes a mono 16-bit WAV of a square wave at the given amplitude.
std::string writeWav(const std::string& name, int frames, int sampleRate, int amplitude) {
    std::string path = MakeTempDir("sfx") + name;
    std::ofstream out(path, std::ios::binary);
    auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    uint32_t bytes = static_cast<uint32_t>(frames) * 2;
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(1); // PCM
    u16(1); // mono
    u32(static_cast<uint32_t>(sampleRate));
    u32(static_cast<uint32_t>(sampleRate) * 2);
    u16(2);
    u16(16);
    out.write("data", 4);
    u32(bytes);
    for (int i = 0; i < frames; i++) {
        int16_t s = static_cast<int16_t>((i / 50) % 2 ? amplitude : -amplitude);
        out.write(reinterpret_cast<const char*>(&s), 2);
    }
    return path;
}

// The doubles with default 50 % volumes and a shot sound in SoundBank slot 2.
void startWithShot() {
    StartDoubles();
    shell.Settings[slot::MasterVolume] = 50;
    shell.Settings[slot::SoundVolume] = 50;
    shell.SoundBank[2] = LoadSound(writeWav("shot.wav", 22050, 22050, 8000));
}

} // namespace

TEST(SfxSlots, RotateFrom21AndWrapFrom255To20) {
    startWithShot();
    ASSERT_NE(shell.SoundBank[2], 0) << "the test sound did not load";
    PlaySfx(2, 1, 0.2f, 0);
    EXPECT_EQ(game.SfxCursor, 21);
    EXPECT_NE(shell.Channels[21], 0);
    EXPECT_EQ(shell.Channels[20], 0);
    EXPECT_FLOAT_EQ(shell.ChannelVolume[21], 0.2f);
    PlaySfx(2, 1, 0.7f, 0);
    EXPECT_EQ(game.SfxCursor, 22);
    EXPECT_NE(shell.Channels[22], 0);
    EXPECT_NE(shell.Channels[22], shell.Channels[21]);
    EXPECT_FLOAT_EQ(shell.ChannelVolume[22], 0.7f);

    game.SfxCursor = 254;
    PlaySfx(2, 1, 0.5f, 0);
    EXPECT_EQ(game.SfxCursor, 255);
    EXPECT_NE(shell.Channels[255], 0);
    PlaySfx(2, 1, 0.5f, 0);
    EXPECT_EQ(game.SfxCursor, 20);
    EXPECT_NE(shell.Channels[20], 0);
    PlaySfx(2, 1, 0.5f, 0);
    EXPECT_EQ(game.SfxCursor, 21);
    EXPECT_EQ(shell.Channels[256], 0); // nothing past the rotation
    EXPECT_EQ(shell.Channels[19], 0);
}

TEST(SfxSlots, ManyEffectsNeverHoldMoreThanOneChannelPerSlot) {
    startWithShot();
    ASSERT_NE(shell.SoundBank[2], 0);
    for (int i = 0; i < 700; i++) PlaySfx(2, 1, 0.2f, 0);
    // 700 effects over 236 slots: each slot cut off and reused, none leaked.
    EXPECT_LE(OpenChannelCount(), 236);
    std::set<int> used;
    for (int s = 20; s <= 255; s++) {
        ASSERT_NE(shell.Channels[s], 0) << "slot " << s;
        used.insert(shell.Channels[s]);
    }
    EXPECT_EQ(used.size(), 236u); // every slot has a channel of its own
    EXPECT_EQ(game.SfxCursor, 20 + (700 % 236));
}

TEST(SfxSilence, NoSoundVolumeOrNoSoundMeansNothingHappens) {
    startWithShot();
    ASSERT_NE(shell.SoundBank[2], 0);
    shell.Settings[slot::SoundVolume] = 0;
    PlaySfx(2, 1, 1, 0);
    shell.Settings[slot::SoundVolume] = -5;
    PlaySfx(2, 1, 1, 0);
    shell.Settings[slot::SoundVolume] = 50;
    PlaySfx(3, 1, 1, 0);      // empty bank slot
    PlaySfx(-1, 1, 1, 0);     // outside the bank
    PlaySfx(201, 1, 1, 0);    // outside the bank
    PlaySfx(100000, 1, 1, 0); // far outside
    EXPECT_EQ(game.SfxCursor, 20);
    for (int s = 0; s < 260; s++) ASSERT_EQ(shell.Channels[s], 0) << "slot " << s;
    EXPECT_EQ(OpenChannelCount(), 0);
}

TEST(SfxVolume, RealArithmeticGivesAQuarterAtTheDefaultFiftyFifty) {
    StartDoubles();
    shell.Settings[slot::MasterVolume] = 50;
    shell.Settings[slot::SoundVolume] = 50;
    EXPECT_FLOAT_EQ(SfxChannelVolume(0.2f), 0.05f);
    EXPECT_FLOAT_EQ(SfxChannelVolume(1), 0.25f);
    shell.Settings[slot::MasterVolume] = 100;
    shell.Settings[slot::SoundVolume] = 100;
    EXPECT_FLOAT_EQ(SfxChannelVolume(0.2f), 0.2f);
    shell.Settings[slot::MasterVolume] = 30;
    shell.Settings[slot::SoundVolume] = 70;
    EXPECT_FLOAT_EQ(SfxChannelVolume(1), 0.21f);
    shell.Settings[slot::MasterVolume] = 0;
    EXPECT_EQ(SfxChannelVolume(1), 0);
}

TEST(SfxVolume, VolumeOutsideZeroToOneIsClampedBeforeItIsStored) {
    startWithShot();
    ASSERT_NE(shell.SoundBank[2], 0);
    PlaySfx(2, 1, 3.0f, 0);
    EXPECT_EQ(shell.ChannelVolume[21], 1.0f);
    PlaySfx(2, 1, -2.0f, 0);
    EXPECT_EQ(shell.ChannelVolume[22], 0.0f);
    PlaySfx(2, 1, NAN, 0);
    EXPECT_EQ(shell.ChannelVolume[23], 0.0f);
}

namespace {

// Renders the loopback output until the channel stops; returns the frames
// played and the largest sample seen.
struct Rendered {
    int frames = 0;
    int peak = 0;
};
Rendered renderUntilQuiet(int channel) {
    Rendered r;
    std::vector<int16_t> buffer(2 * 441);
    for (int block = 0; block < 2000 && Playing(channel); block++) {
        RenderAudio(buffer.data(), 441);
        r.frames += 441;
        for (int16_t s : buffer) r.peak = std::max(r.peak, std::abs(static_cast<int>(s)));
    }
    return r;
}

// The doubles with the loopback back-end and a 0.1 s test sound; false when
// this machine cannot render offline.
bool startLoopback() {
    StartDoubles();
    if (!OpenLoopbackAudio(44100)) return false;
    shell.Settings[slot::MasterVolume] = 100;
    shell.Settings[slot::SoundVolume] = 100;
    shell.SoundBank[5] = LoadSound(writeWav("tone.wav", 4410, 44100, 8000));
    return shell.SoundBank[5] != 0;
}

} // namespace

TEST(SfxRendered, RateIsClampedToAQuarterAndFourTimes) {
    if (!startLoopback()) GTEST_SKIP() << "no offline audio rendering here: " << PlatformError();
    PlaySfx(5, 1, 1, 0);
    int normal = renderUntilQuiet(shell.Channels[game.SfxCursor]).frames;
    PlaySfx(5, 0.25f, 1, 0);
    int quarter = renderUntilQuiet(shell.Channels[game.SfxCursor]).frames;
    PlaySfx(5, 0.1f, 1, 0);
    int tooSlow = renderUntilQuiet(shell.Channels[game.SfxCursor]).frames;
    PlaySfx(5, 10, 1, 0);
    int tooFast = renderUntilQuiet(shell.Channels[game.SfxCursor]).frames;
    ASSERT_GT(normal, 0);
    EXPECT_NEAR(quarter, 4 * normal, 2 * 441);
    EXPECT_EQ(tooSlow, quarter); // 0.1 plays at 0.25
    EXPECT_LE(tooFast, normal / 4 + 441);
    PlatformShutdown(); // close the loopback device
}

TEST(SfxRendered, DefaultFiftyFiftyVolumesPlayAtAQuarterNotSilence) {
    if (!startLoopback()) GTEST_SKIP() << "no offline audio rendering here: " << PlatformError();
    PlaySfx(5, 1, 1, 0);
    int full = renderUntilQuiet(shell.Channels[game.SfxCursor]).peak;
    shell.Settings[slot::MasterVolume] = 50;
    shell.Settings[slot::SoundVolume] = 50;
    PlaySfx(5, 1, 1, 0);
    int quarter = renderUntilQuiet(shell.Channels[game.SfxCursor]).peak;
    ASSERT_GT(full, 1000);
    EXPECT_GT(quarter, 0);
    EXPECT_NEAR(static_cast<double>(quarter) / full, 0.25, 0.03);
    PlatformShutdown(); // close the loopback device
}

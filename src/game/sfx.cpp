// sfx.cpp - the sound-effect player over the rotating slots 20..255 of the
// shared channel table.
#include "game/game.h"

#include "draw/draw.h"
#include "platform/platform.h"
#include "shell/shell.h"

#include <iterator>

// Real-valued product of the two volume settings (percent) and the effect's
// own volume; kept in reals so the default 50 % settings give a quarter.
float SfxChannelVolume(float volume) {
    double product =
        static_cast<double>(shell.Settings[slot::SoundVolume]) * shell.Settings[slot::MasterVolume];
    return static_cast<float>(product / 100.0 / 100.0 * volume);
}

// Plays one effect from the sound bank on the next rotating channel slot,
// cutting off whatever that slot was still playing.
void PlaySfx(int index, float rate, float volume, float pan) {
    if (shell.Settings[slot::SoundVolume] <= 0) return;
    if (index < 0 || index >= static_cast<int>(std::size(shell.SoundBank))) return;
    int sound = shell.SoundBank[index];
    if (sound == 0) return;
    game.SfxCursor += 1;
    if (game.SfxCursor >= 256) game.SfxCursor = 20;
    if (game.SfxCursor < 20)
        game.SfxCursor = 21; // a cursor left out of range re-enters the rotation
    volume = ClampFloat(volume, 0, 1);
    rate = ClampFloat(rate, 0.25f, 4);
    pan = ClampFloat(pan, -1, 1);
    int& channel = shell.Channels[game.SfxCursor];
    if (channel != 0 && Playing(channel)) {
        Stop(channel);
        channel = 0;
    }
    if (channel == 0) channel = AllocChannel();
    if (channel == 0) return;
    CueSound(sound, channel);
    SetVolume(channel, SfxChannelVolume(volume));
    shell.ChannelVolume[game.SfxCursor] = volume;
    SetPan(channel, pan);
    SetRate(channel, rate);
    SetPaused(channel, false);
}

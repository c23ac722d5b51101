// round.cpp - one round of the game: the frame loop that moves, draws and
// removes every entity, and the end of the round.
#include "game/game.h"

// Plays one round from the empty field to the new score record.
void PlayRound() {}

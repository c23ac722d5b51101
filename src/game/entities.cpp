// entities.cpp - the game's program-wide entity lists and the placing of new
// enemies and gun posts.
#include "game/game.h"

GameState game;

// Places one enemy in the band just outside the screen.
void SpawnEnemy() {}

// Opens one gun post somewhere away from the figure and the screen edges.
void SpawnGunPost() {}

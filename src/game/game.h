// game.h - the game's records, their spawning, the round and the sound-effect
// player.
#pragma once

#include <cstdint>
#include <list>

struct PlayerFigure {
    float x = 0, y = 0;
    float aimx = 0, aimy = 0;
    float spd = 0;
    int health = 0;
    int show = 0;
};

struct Enemy {
    float x = 0, y = 0;
    int t = 0;
    float aimx = 0, aimy = 0;
    int show = 0;
    float spd = 0;
    int health = 0;
};

struct GunPost {
    float x = 0, y = 0;
    int timer = 0, t = 0;
    int tick = 0;
    int inny = 0;
};

struct Bullet {
    float x = 0, y = 0;
    float gx = 0, gy = 0;
};

struct Splat {
    float x = 0, y = 0;
    float gx = 0, gy = 0;
    float alp = 0;
    int g = 0;
};

struct GameState {
    std::list<PlayerFigure> Players;
    std::list<Enemy> Enemies;
    std::list<GunPost> GunPosts;
    std::list<Bullet> Bullets;
    std::list<Splat> Splats;
    int RoundScore = 0;
    int RoundBadges = 0;
    int SfxCursor = 20;
};
extern GameState game;

void SpawnEnemy();
void SpawnGunPost();

// One round from the empty field to the new score record.
void PlayRound();
void PlaySfx(int index, float rate, float volume, float pan);

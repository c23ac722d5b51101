// game.h - the game's records, their spawning, the round and the sound-effect
// player.
#pragma once

#include <cstdint>
#include <list>
#include <string>

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

// What the round reads from the player in one frame: the pointer as the frame
// driver sampled it at the end of the previous frame, the buttons held, and
// whether the test-notice key was pressed. Live play samples it; a replay
// hands it back frame by frame.
struct RoundInput {
    int mouseX = 0, mouseY = 0;
    bool left = false, right = false;
    bool noticeKey = false;
};

// How a round stands (game.Over); RoundQuit is also the pause menu's "Quit"
// as the frame driver returns it.
inline constexpr int RoundGoesOn = 0, RoundDied = 1, RoundQuit = 99;

struct GameState {
    std::list<PlayerFigure> Players;
    std::list<Enemy> Enemies;
    std::list<GunPost> GunPosts;
    std::list<Bullet> Bullets;
    std::list<Splat> Splats;
    int RoundScore = 0;
    int RoundBadges = 0;
    int SfxCursor = 20; // the channel slot the last effect used; rotates 21..255, then 20
    // The running round's pacing, reset by BeginRound.
    int Interval = 240; // frames between enemy waves, never below 30
    int WaveTimer = 0;  // frames since the last wave
    int PostTimer = 0;  // frames since the last gun post; its parity paces firing
    float Extra = 0;    // grows by 0.05 a wave and widens the wave size
    int Flash = 0;      // frames of red screen left after the figure was hurt
    int FlashRed = -1;  // red of the flash this frame's picture has, -1 for none
    int Over = 0;       // RoundGoesOn, RoundDied or RoundQuit
    RoundInput Input;   // this frame's input
};
extern GameState game;

void SpawnEnemy();
void SpawnGunPost();
// An enemy may start here: anywhere not strictly inside the screen.
bool EnemySpotAllowed(float x, float y);
// A gun post may open here: more than 128 whole units from the figure.
bool PostSpotAllowed(int px, int py, float figureX, float figureY);

// One round from the empty field to the new score record: BeginRound, then
// RoundFrame until it reports the round over, then FinishRound.
void PlayRound();
void BeginRound();             // empty field, the figure, three enemies, fresh pacing
int RoundFrame();              // one whole frame including EndFrame; returns Over
void RoundUpdate();            // samples the input, then RoundStep
void RoundStep();              // the frame's play from game.Input
RoundInput SampleRoundInput(); // the live input the round reads this frame
// A checksum of the round's state: every entity's position and health, the
// score and the pacing counters; equal states give equal sums.
uint64_t RoundChecksum();
// Takes EndFrame's result; when the round is over, the game-over picture with
// the pointer (x, y) where the frame's picture had it.
void RoundConclude(int endFrameResult, int pointerX, int pointerY);
void FinishRound(); // the pause, name entry and the new score record

// Moves a walker spd units straight toward (aimx, aimy); up when on the point.
void WalkToward(float& x, float& y, float aimx, float aimy, float spd);
// Largest enemy count of the next wave for a game mode and the grown extra.
int WaveSizeBound(int gameMode, float extra);
// The extra after one more wave, kept as a 32-bit real.
float GrowExtra(float extra);
// The last 12 digits of the score, zero-padded.
std::string ScoreDigits(int score);

void PlaySfx(int index, float rate, float volume, float pan);
// Channel volume for an effect of the given volume under the current
// SoundVolume and MasterVolume settings (both in percent).
float SfxChannelVolume(float volume);

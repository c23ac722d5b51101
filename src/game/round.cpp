// round.cpp - one round of the game: the frame loop that moves, draws and
// removes every entity, the game-over picture and the end of the round.
#include "game/game.h"

#include "game/replay.h"

#include "draw/draw.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "scores/world.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr double DegreesPerRadian = 57.29577951308232;

// Sine of an angle in degrees.
double sinDeg(double degrees) {
    return std::sin(degrees / DegreesPerRadian);
}

// Cosine of an angle in degrees.
double cosDeg(double degrees) {
    return std::cos(degrees / DegreesPerRadian);
}

// Two-argument arc tangent in degrees.
double atan2Deg(double y, double x) {
    return std::atan2(y, x) * DegreesPerRadian;
}

// A real position handed to drawing, truncated toward zero.
int whole(float v) {
    return static_cast<int>(v);
}

// Steps 4 and 5 of a frame: a gun post every 140 frames, the enemy waves.
void advanceTimers() {
    game.PostTimer += 1;
    if (game.PostTimer >= 140) {
        SpawnGunPost();
        game.PostTimer = 0;
    }
    game.WaveTimer += 1;
    if (game.WaveTimer >= game.Interval) {
        int k = RandomInt(1, WaveSizeBound(shell.GameMode, game.Extra));
        for (int i = 0; i < k; i++) SpawnEnemy();
        game.Extra = GrowExtra(game.Extra);
        game.WaveTimer = 0;
        game.Interval -= 2;
        if (game.Interval < 30) game.Interval = 30;
    }
}

// A splat: green and fading, or red (alpha 1.5) for the whole round.
void drawSplat(const Splat& s) {
    SetTint(0, static_cast<float>(s.g), 0, s.alp);
    if (s.alp == 1.5f) SetTint(static_cast<float>(s.g), 0, 0, 1);
    SetZoom(0.2f);
    DrawSprite(display.GameSheet, whole(s.x - 1.5f), whole(s.y - 1.5f), 63, 1);
}

// The figure with its health in yellow above it.
void drawFigure(const PlayerFigure& f) {
    SetZoom(1);
    SetTint(255, 255, 0, 1);
    DrawTextAligned(whole(f.x), whole(f.y - 18), std::to_string(f.health), 1, 2);
    SetZoom(2);
    float pale = static_cast<float>(2 * f.health + 50);
    SetTint(255, pale, pale, 1);
    DrawSprite(display.GameSheet, whole(f.x - 16), whole(f.y - 16), f.show / 2, 1);
}

// The target marker where the figure walks to, in the figure's zoom and colour.
void drawAimMarker(const PlayerFigure& f) {
    DrawSprite(display.GameSheet, whole(f.aimx - 16), whole(f.aimy - 16), 24, 1);
}

// An enemy with its health in red, facing the way it walks.
void drawEnemy(const Enemy& e) {
    SetZoom(1);
    SetTint(255, 0, 0, 1);
    DrawTextAligned(whole(e.x), whole(e.y - 18), std::to_string(e.health), 1, 2);
    SetZoom(2);
    SetTint(255, 255, 255, 1);
    int px = whole(e.x - 16);
    if (e.aimx < e.x) {
        px += 32;
        SetZoom(-2, 2);
    }
    DrawSprite(display.GameSheet, px, whole(e.y - 16), 8 + e.show / 2, 1);
}

// A gun post in the given cell with its count above it, blue, pale, then white.
void drawPost(const GunPost& p, int cell) {
    SetZoom(1);
    SetTint(0, 125, 255, 1);
    if (p.tick < 90) SetTint(100, 180, 255, 1);
    if (p.tick < 45) SetTint(255, 255, 255, 1);
    DrawTextAligned(whole(p.x), whole(p.y - 32), std::to_string(p.tick / 6), 1, 2);
    SetZoom(2);
    SetTint(255, 255, 255, 1);
    DrawSprite(display.GameSheet, whole(p.x - 16), whole(p.y - 16), cell, 1);
}

// A bullet, in the colour the passes before it left.
void drawBullet(const Bullet& b) {
    SetZoom(0.2f);
    DrawSprite(display.GameSheet, whole(b.x - 1.5f), whole(b.y - 1.5f), 63, 1);
}

// The round's score, zero-padded, centred at the top in pale green.
void drawScoreLine() {
    ResetDrawState();
    SelectLadderFont(2, 3);
    SetTint(180, 255, 180, 1);
    DrawTextAligned(display.VirtualWidth / 2, 4, "Score : " + ScoreDigits(game.RoundScore), 1, 0);
}

// Drifts, fades and draws the splats; green ones go when faded out.
void updateSplats() {
    for (auto it = game.Splats.begin(); it != game.Splats.end();) {
        Splat& s = *it;
        s.x += s.gx;
        s.y += s.gy;
        s.gx *= 0.8f;
        s.gy *= 0.8f;
        if (s.alp < 1.5f) s.alp -= RandomReal(0.005f, 0.01f);
        drawSplat(s);
        if (!(s.alp > 0)) {
            it = game.Splats.erase(it);
        } else {
            ++it;
        }
    }
}

// Draws the figure with its health, takes the left button's aim and walks it.
void updateFigure(PlayerFigure& f) {
    drawFigure(f);
    const RoundInput& in = game.Input;
    if (in.left) {
        f.aimx = static_cast<float>(in.mouseX);
        f.aimy = static_cast<float>(in.mouseY);
    }
    if (f.aimx > 0 && f.aimy > 0) {
        drawAimMarker(f);
        WalkToward(f.x, f.y, f.aimx, f.aimy, f.spd);
    }
    if (std::fabs(f.aimx - f.x) < 4 && std::fabs(f.aimy - f.y) < 4) {
        f.x = f.aimx;
        f.y = f.aimy;
        f.aimx = 0;
        f.aimy = 0;
    }
    if (f.aimx < 1) f.show = 0;
    f.show += 1;
    if (f.show > 11) f.show = 0;
}

// Draws, hurts the figure on contact, re-aims and walks every enemy; removes
// the ones without health.
void updateEnemies(PlayerFigure& f) {
    for (auto it = game.Enemies.begin(); it != game.Enemies.end();) {
        Enemy& e = *it;
        if (e.health < 0) e.health = 0;
        drawEnemy(e);
        if (std::fabs(f.y - e.y) < 26 && std::fabs(f.x - e.x) < 20) {
            f.health -= RandomInt(1, 2);
            game.Flash = 8;
            Splat blood;
            blood.x = f.x;
            blood.y = f.y;
            blood.alp = 1.5f;
            blood.g = RandomInt(100, 255);
            game.Splats.push_front(blood);
        }
        if (RandomInt(0, 50) == 7) e.aimx = f.x;
        if (RandomInt(0, 50) == 13) e.aimy = f.y;
        WalkToward(e.x, e.y, e.aimx, e.aimy, e.spd);
        e.show += 1;
        if (e.show > 5) e.show = 0;
        if (e.health <= 0) {
            it = game.Enemies.erase(it);
        } else {
            ++it;
        }
    }
}

// Opens, counts down, draws and closes the gun posts; a post under the figure
// fires at the pointer every other frame while the right button is held.
void updatePosts(PlayerFigure& f) {
    const RoundInput& in = game.Input;
    for (auto it = game.GunPosts.begin(); it != game.GunPosts.end();) {
        GunPost& p = *it;
        int cell = 16 + std::abs(p.inny);
        if (p.inny < 0) p.inny += 1;
        if (p.tick > 0) p.tick -= 1;
        if (p.tick == 1) {
            p.tick = 0;
            p.inny = 1;
        }
        drawPost(p, cell);
        if (std::fabs(static_cast<float>(in.mouseX) - p.x) < 32 &&
            std::fabs(static_cast<float>(in.mouseY) - p.y) < 32 && in.left) {
            f.aimx = p.x;
            f.aimy = p.y;
        }
        if (std::fabs(f.x - p.x) < 8 && std::fabs(f.y - p.y) < 8 && in.right &&
            game.PostTimer % 2 == 1) {
            Bullet b;
            b.x = f.x;
            b.y = f.y;
            double angle = atan2Deg(in.mouseX - static_cast<double>(b.x),
                                    static_cast<double>(b.y) - in.mouseY);
            b.gx = static_cast<float>(sinDeg(angle) * 6);
            b.gy = static_cast<float>(-cosDeg(angle) * 6);
            game.Bullets.push_front(b);
            PlaySfx(2, static_cast<float>((p.tick * 50 + 31000) / 70000.0), 0.2f, 0);
        }
        if (p.inny > 0) {
            p.inny += 1;
            if (p.inny == 8) {
                it = game.GunPosts.erase(it);
                continue;
            }
        }
        ++it;
    }
}

// Moves and draws the bullets; every frame a bullet overlaps an enemy it
// hurts it, leaves a green splat and scores a point.
void updateBullets() {
    float right = static_cast<float>(display.VirtualWidth + 32);
    float bottom = static_cast<float>(display.VirtualHeight + 32);
    // Enemies do not move during this pass, so their places are gathered once
    // into flat arrays (kept between frames) for the bullets-by-enemies test.
    static std::vector<float> enemyX, enemyY;
    static std::vector<Enemy*> enemyAt;
    enemyX.clear();
    enemyY.clear();
    enemyAt.clear();
    for (Enemy& e : game.Enemies) {
        enemyX.push_back(e.x);
        enemyY.push_back(e.y);
        enemyAt.push_back(&e);
    }
    const size_t count = enemyAt.size();
    for (auto it = game.Bullets.begin(); it != game.Bullets.end();) {
        Bullet& b = *it;
        b.x += b.gx;
        b.y += b.gy;
        drawBullet(b);
        bool out = b.x < -32 || b.y < -32 || b.y > bottom || b.x > right;
        for (size_t i = 0; i < count; i++) {
            if (std::fabs(enemyX[i] - b.x) < 20 && std::fabs(enemyY[i] - b.y) < 20) {
                enemyAt[i]->health -= RandomInt(1, 2);
                Splat s;
                s.x = b.x;
                s.y = b.y;
                s.gx = b.gx * 4 + RandomReal(-0.3f, 0.3f);
                s.gy = b.gy * 4 + RandomReal(-0.3f, 0.3f);
                s.alp = 1.0f;
                s.g = RandomInt(100, 255);
                game.Splats.push_front(s);
                game.RoundScore += 1;
            }
        }
        if (out) {
            it = game.Bullets.erase(it);
        } else {
            ++it;
        }
    }
}

// Draws the field as it stands, moving nothing: the picture behind "Game
// Over" when the round ended on a frame that a slow system did not present,
// whose sprites were skipped.
void redrawField(int pointerX, int pointerY) {
    BeginFrame(1);
    if (game.FlashRed >= 0) {
        SetTint(static_cast<float>(game.FlashRed), 0, 0, 1);
        DrawRect(0, 0, static_cast<float>(display.VirtualWidth),
                 static_cast<float>(display.VirtualHeight));
    }
    ResetDrawState();
    SelectLadderFont(2, 2);
    for (const Splat& s : game.Splats) drawSplat(s);
    if (!game.Players.empty()) {
        const PlayerFigure& f = game.Players.front();
        drawFigure(f);
        if (f.aimx > 0 && f.aimy > 0) drawAimMarker(f);
    }
    for (const Enemy& e : game.Enemies) drawEnemy(e);
    for (const GunPost& p : game.GunPosts) drawPost(p, 16 + std::abs(p.inny));
    for (const Bullet& b : game.Bullets) drawBullet(b);
    drawScoreLine();
    ResetDrawState();
    SetDrawScale(1.5f, 1.5f);
    DrawImageFrame(display.IconSheet, static_cast<float>(pointerX + 12),
                   static_cast<float>(pointerY + 12), 63);
}

// The yellow "Game Over" with a near-black rim inside a white outline.
void drawGameOver() {
    int cx = display.VirtualWidth / 2, cy = display.VirtualHeight / 2;
    Flip(-1);
    for (int dx = -3; dx <= 3; dx++) {
        for (int dy = -3; dy <= 3; dy++) {
            ResetDrawState();
            SetTint(255, 255, 255, 1);
            SetFont(display.FontSet[5]);
            DrawTextAligned(cx + dx, cy + dy, "Game Over", 1, 1);
        }
    }
    for (int dx = -2; dx <= 2; dx++) {
        for (int dy = -2; dy <= 2; dy++) {
            ResetDrawState();
            SetTint(8, 8, 8, 1);
            SetFont(display.FontSet[5]);
            DrawTextAligned(cx + dx, cy + dy, "Game Over", 1, 1);
        }
    }
    ResetDrawState();
    SetTint(255, 255, 0, 1);
    SetFont(display.FontSet[5]);
    DrawTextAligned(cx, cy, "Game Over", 1, 1);
    Flip(-1);
}

} // namespace

// Moves a walker spd units straight toward the point (y grows downward).
void WalkToward(float& x, float& y, float aimx, float aimy, float spd) {
    double angle = atan2Deg(static_cast<double>(aimx) - x, static_cast<double>(y) - aimy);
    x = static_cast<float>(x + sinDeg(angle) * spd);
    y = static_cast<float>(y - cosDeg(angle) * spd);
}

// Largest size of the next wave: the mode plus 3 plus the grown extra, truncated.
int WaveSizeBound(int gameMode, float extra) {
    return static_cast<int>(static_cast<float>(gameMode + 3) + extra);
}

// One wave's growth of the extra, stored back as a 32-bit real.
float GrowExtra(float extra) {
    return static_cast<float>(extra + 0.05);
}

// The score as the last 12 characters of twelve zeros followed by its digits.
std::string ScoreDigits(int score) {
    std::string text = "000000000000" + std::to_string(score);
    return text.substr(text.size() - 12);
}

// Empties the field, places the figure at the centre with three enemies
// around the screen and resets the round's pacing.
void BeginRound() {
    const uint64_t startState = RandomStateNow();
    game.RoundScore = 0;
    game.RoundBadges = 0;
    for (int i = 1; i <= 30; i++) shell.RoundBest[i] = 0;
    game.GunPosts.clear();
    game.Players.clear();
    game.Enemies.clear();
    game.Bullets.clear();
    game.Splats.clear();
    PlayerFigure figure;
    figure.x = static_cast<float>(display.VirtualWidth / 2);
    figure.y = static_cast<float>(display.VirtualHeight / 2);
    figure.health = 99;
    figure.spd = 3.0f;
    game.Players.push_back(figure);
    for (int i = 0; i < 3; i++) SpawnEnemy();
    game.Interval = 240 - 30 * shell.GameMode;
    game.WaveTimer = 0;
    game.PostTimer = 0;
    game.Extra = 0;
    game.Flash = 0;
    game.Over = 0;
    game.Input = RoundInput{};
    RecordRoundStart(startState);
}

// The pointer, buttons and notice key as the round reads them this frame.
RoundInput SampleRoundInput() {
    RoundInput in;
    in.mouseX = frame.FrameMouseX;
    in.mouseY = frame.FrameMouseY;
    in.left = IsMouseDown(1);
    in.right = IsMouseDown(2);
    in.noticeKey = KeyPressCount(KeyDigit1) != 0;
    return in;
}

// Samples the live input (noted in the round's replay) and plays the frame.
void RoundUpdate() {
    if (game.Players.empty()) BeginRound();
    game.Input = SampleRoundInput();
    RecordRoundFrame(game.Input);
    RoundStep();
    RecordRoundStepped();
}

// The frame's play: clear, flash, timers and waves, every entity, the end
// test, the score line and the test notice key.
void RoundStep() {
    PlayerFigure& figure = game.Players.front();
    BeginFrame(1);
    game.FlashRed = -1;
    if (game.Flash > 0) {
        game.Flash -= 1;
        game.FlashRed = game.Flash * 10;
        SetTint(static_cast<float>(game.Flash * 10), 0, 0, 1);
        DrawRect(0, 0, static_cast<float>(display.VirtualWidth),
                 static_cast<float>(display.VirtualHeight));
    }
    ResetDrawState();
    SelectLadderFont(2, 2);
    advanceTimers();
    updateSplats();
    updateFigure(figure);
    updateEnemies(figure);
    updatePosts(figure);
    updateBullets();
    if (figure.health <= 0) game.Over = RoundDied;
    drawScoreLine();
    if (game.Input.noticeKey) PostNotice("This is a Test Comment", 1);
}

// Takes the frame driver's result (99 is "Quit" from the pause menu) and,
// once the round is over, shows the game-over picture.
void RoundConclude(int endFrameResult, int pointerX, int pointerY) {
    if (endFrameResult == RoundQuit) {
        game.Over = RoundQuit;
        RecordRoundQuit();
    }
    if (game.Over == RoundGoesOn) return;
    // EndFrame has flipped the parity: 0 now means the frame just ended was
    // one a slow system skipped, so the screen holds no sprites of the field.
    if (shell.Settings[slot::SlowSystem] != 0 && frame.FrameParity == 0)
        redrawField(pointerX, pointerY);
    drawGameOver();
}

// One whole frame of the round; returns Over (0 while the round goes on).
int RoundFrame() {
    RoundUpdate();
    const int result = EndFrame(shell.TitleInputMode);
    // The pointer EndFrame drew is the one it has just sampled.
    RoundConclude(result, frame.FrameMouseX, frame.FrameMouseY);
    return game.Over;
}

// After the game-over picture: a short pause, no more pausing, the name
// entry and the round's score record.
void FinishRound() {
    // A signal to end is acted on by the name entry's first frame.
    for (int waited = 0; waited < 1500 && EndSignal() == 0; waited += 50) SleepMillis(50);
    frame.PauseState = 0;
    NameEntry();
    // The record this round made, which need not be the newest one of the
    // table (the clock may have been set back since an earlier round).
    Scores& record = AddRoundScore(game.Over == RoundQuit ? 1 : 0);
    SaveRoundReplay(record);
    SendRoundToWorld(RecordedReplay(), record.Name);
}

// Plays one round from the empty field to the new score record.
void PlayRound() {
    BeginRound();
    while (RoundFrame() == 0) {
    }
    FinishRound();
}

namespace {

// FNV-1a over the bytes of one value.
template <typename T> void mixInto(uint64_t& sum, const T& value) {
    unsigned char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    for (unsigned char b : bytes) sum = (sum ^ b) * 1099511628211ULL;
}

} // namespace

// Sums every entity's place, speed and health with the score and counters.
uint64_t RoundChecksum() {
    uint64_t sum = 14695981039346656037ULL;
    for (const PlayerFigure& f : game.Players) {
        for (float v : {f.x, f.y, f.aimx, f.aimy}) mixInto(sum, v);
        mixInto(sum, f.health);
    }
    for (const Enemy& e : game.Enemies) {
        for (float v : {e.x, e.y, e.aimx, e.aimy, e.spd}) mixInto(sum, v);
        mixInto(sum, e.health);
    }
    for (const GunPost& p : game.GunPosts) {
        for (float v : {p.x, p.y}) mixInto(sum, v);
        for (int v : {p.tick, p.inny}) mixInto(sum, v);
    }
    for (const Bullet& b : game.Bullets)
        for (float v : {b.x, b.y, b.gx, b.gy}) mixInto(sum, v);
    for (const Splat& s : game.Splats)
        for (float v : {s.x, s.y, s.alp}) mixInto(sum, v);
    for (int v : {game.RoundScore, game.Interval, game.WaveTimer, game.PostTimer, game.Over})
        mixInto(sum, v);
    mixInto(sum, game.Extra);
    return sum;
}

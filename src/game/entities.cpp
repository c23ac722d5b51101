// entities.cpp - the game's program-wide entity lists and the placing of new
// enemies and gun posts.
#include "game/game.h"

#include "platform/platform.h"
#include "shell/display.h"

#include <cmath>
#include <cstdlib>

GameState game;

// The round's figure, or a still one at the centre when no round has begun.
static PlayerFigure figureOrCentre() {
    if (!game.Players.empty()) return game.Players.front();
    PlayerFigure centre;
    centre.x = static_cast<float>(display.VirtualWidth / 2);
    centre.y = static_cast<float>(display.VirtualHeight / 2);
    return centre;
}

// True unless the point lies strictly inside the screen; the edge counts as outside.
bool EnemySpotAllowed(float x, float y) {
    bool inside = x > 0 && x < static_cast<float>(display.VirtualWidth) && y > 0 &&
                  y < static_cast<float>(display.VirtualHeight);
    return !inside;
}

// True when the point is more than 128 units from the figure, measured on
// whole-unit differences as the post placement does.
bool PostSpotAllowed(int px, int py, float figureX, float figureY) {
    int dx = static_cast<int>(std::fabs(static_cast<float>(px) - figureX));
    int dy = static_cast<int>(std::fabs(static_cast<float>(py) - figureY));
    int d =
        static_cast<int>(std::sqrt(static_cast<double>(dx) * dx + static_cast<double>(dy) * dy));
    return d > 128;
}

// Places one enemy in the 64-unit band around the screen (or on its edge),
// aimed at where the figure stands now.
void SpawnEnemy() {
    PlayerFigure figure = figureOrCentre();
    Enemy enemy;
    do {
        enemy.x = static_cast<float>(RandomInt(-64, display.VirtualWidth + 64));
        enemy.y = static_cast<float>(RandomInt(-64, display.VirtualHeight + 64));
        enemy.aimx = figure.x;
        enemy.aimy = figure.y;
        enemy.spd = RandomReal(0.8f, 1.2f);
    } while (!EnemySpotAllowed(enemy.x, enemy.y));
    enemy.health = 99;
    game.Enemies.push_back(enemy);
}

// Opens one gun post at least 120 units inside every edge and more than 128
// units from the figure; it is born closed with its full count.
void SpawnGunPost() {
    PlayerFigure figure = figureOrCentre();
    int px = 0, py = 0;
    do {
        px = RandomInt(120, display.VirtualWidth - 120);
        py = RandomInt(120, display.VirtualHeight - 120);
    } while (!PostSpotAllowed(px, py, figure.x, figure.y));
    GunPost post;
    post.x = static_cast<float>(px);
    post.y = static_cast<float>(py);
    post.inny = -7;
    post.tick = 594;
    game.GunPosts.push_front(post);
}

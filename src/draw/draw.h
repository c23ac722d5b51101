// draw.h - the drawing toolkit: tint, zoom, turn, blend kinds, aligned text,
// the start of a frame and the counted sprite draws with per-frame budgets.
#pragma once

#include <string>

// Sentinels compared for exact equality as single-precision reals.
inline constexpr float ZoomSame = -37171648.0f;     // SetZoom's y: same as x
inline constexpr float TintKeepAlpha = 37171648.0f; // SetTint's alpha: leave unchanged

enum SpriteKind { SpriteKindMain = 1, SpriteKindGlow = 2, SpriteKindParticle = 3 };

// Per-frame tallies of counted draws and the budgets that cap them, and
// whether the frame being drawn will be presented: the frame driver says so at
// the end of every frame, and counted draws skip the frames that are not.
struct SpriteTally {
    int DrawnSprites[20] = {};
    int SpriteBudget[20] = {0, 50000, 50000};
    bool FrameShown = true;
};
extern SpriteTally sprites;

void SetTint(float r, float g, float b, float alpha = TintKeepAlpha);
void SetZoom(float sx, float sy = ZoomSame);
void SetTurn(float degrees);
void SetBlendKind(int kind); // 0 mask, 1 alpha, 2 multiply, 3 add
void ResetDrawState();
void DrawTextAligned(int x, int y, const std::string& text, int hAlign, int vAlign);
void BeginFrame(int clear);
void DrawSprite(int image, int x, int y, int frame, int kind);
void DrawGlowSprite(int image, int x, int y, int frame, int glowImage, float glowScale,
                    float glowAlpha);
int ClampInt(int v, int lo, int hi);
float ClampFloat(float v, float lo, float hi);
std::string SafeFileName(const std::string& text);

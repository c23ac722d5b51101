// draw.cpp - the drawing toolkit over the platform's 2D layer: clamped tint,
// zoom and turn, blend kinds, aligned text, the start of a frame, and the two
// counted sprite draws that respect the per-frame budgets.
#include "draw/draw.h"

#include "platform/platform.h"

#include <cmath>

SpriteTally sprites;

// Sets the colour from clamped, truncated components; alpha unless it is the sentinel.
void SetTint(float r, float g, float b, float alpha) {
    SetColor(static_cast<int>(ClampFloat(r, 0, 255)), static_cast<int>(ClampFloat(g, 0, 255)),
             static_cast<int>(ClampFloat(b, 0, 255)));
    if (alpha != TintKeepAlpha) SetAlpha(ClampFloat(alpha, 0, 1));
}

// Sets the draw scale; a y of ZoomSame means the same as x.
void SetZoom(float sx, float sy) {
    if (sy == ZoomSame) sy = sx;
    SetDrawScale(sx, sy);
}

// Sets the rotation of everything drawn from now on.
void SetTurn(float degrees) {
    SetDrawRotation(degrees);
}

// Selects the platform blend mode of one of the framework's four blend kinds.
void SetBlendKind(int kind) {
    switch (kind) {
    case 0:
        SetBlend(BlendMask);
        break;
    case 1:
        SetBlend(BlendAlpha);
        break;
    case 2:
        SetBlend(BlendMultiply);
        break;
    case 3:
        SetBlend(BlendAdd);
        break;
    default:
        break; // unknown kinds keep the current mode
    }
}

// Back to plain drawing: no turn, scale 1, white, opaque, alpha blending.
void ResetDrawState() {
    SetDrawRotation(0);
    SetDrawScale(1, 1);
    SetColor(255, 255, 255);
    SetAlpha(1.0f);
    SetBlendKind(1);
}

// Draws text centred (1) or right/bottom aligned (2) on x, y by its unscaled size.
void DrawTextAligned(int x, int y, const std::string& text, int hAlign, int vAlign) {
    if (hAlign == 1)
        x -= MeasureText(text) / 2;
    else if (hAlign == 2)
        x -= MeasureText(text);
    if (vAlign == 1)
        y -= TextLineHeight() / 2;
    else if (vAlign == 2)
        y -= TextLineHeight();
    DrawString(text, static_cast<float>(x), static_cast<float>(y));
}

// Starts a frame: optionally clears it and zeroes the tallies of kinds 1 to 10.
void BeginFrame(int clear) {
    if (clear == 1) ClearScreen();
    for (int kind = 1; kind <= 10; ++kind) sprites.DrawnSprites[kind] = 0;
}

// Draws the image so that the top-left of its scaled frame lands on x, y.
static void PlaceImage(int drawn, int sized, int x, int y, int frameIndex, float sx, float sy) {
    float px = static_cast<float>(x) + static_cast<float>(ImageFrameWidth(sized)) * (sx / 2);
    float py = static_cast<float>(y) + static_cast<float>(ImageFrameHeight(sized)) * (sy / 2);
    DrawImageFrame(drawn, px, py, frameIndex);
}

// Takes one draw from the budget of a kind; false when the budget is spent.
static bool TakeBudget(int kind) {
    if (kind < 0 || kind >= 20) return false;
    if (sprites.DrawnSprites[kind] >= sprites.SpriteBudget[kind]) return false;
    sprites.DrawnSprites[kind] += 1;
    return true;
}

// A counted draw with its top-left corner at x, y, within the kind's budget.
void DrawSprite(int image, int x, int y, int frameIndex, int kind) {
    if (!sprites.FrameShown) return; // a slow system's skipped frames draw no counted sprites
    float sx = 1, sy = 1;
    GetDrawScale(sx, sy);
    if (!TakeBudget(kind)) return;
    PlaceImage(image, image, x, y, frameIndex, sx, sy);
}

// A counted sprite with an additive halo glowScale times its size; state is restored.
void DrawGlowSprite(int image, int x, int y, int frameIndex, int glowImage, float glowScale,
                    float glowAlpha) {
    if (!sprites.FrameShown) return;
    float sx = 1, sy = 1;
    GetDrawScale(sx, sy);
    float a0 = GetDrawAlpha();
    int b0 = GetDrawBlend();
    if (TakeBudget(SpriteKindMain)) PlaceImage(image, image, x, y, frameIndex, sx, sy);
    SetDrawScale(sx * glowScale, sy * glowScale);
    SetAlpha(a0 * glowAlpha);
    SetBlendKind(3);
    if (TakeBudget(SpriteKindGlow))
        PlaceImage(glowImage != 0 ? glowImage : image, image, x, y, frameIndex, sx, sy);
    SetDrawScale(sx, sy);
    SetAlpha(a0);
    SetBlend(b0);
}

// Lowers v to hi, then raises it to lo (so lo wins when lo > hi).
int ClampInt(int v, int lo, int hi) {
    if (v > hi) v = hi;
    if (v < lo) v = lo;
    return v;
}

// As ClampInt for reals; NaN gives lo.
float ClampFloat(float v, float lo, float hi) {
    if (std::isnan(v)) return lo;
    if (v > hi) v = hi;
    if (v < lo) v = lo;
    return v;
}

// The text without the characters that are unsafe in file names.
std::string SafeFileName(const std::string& text) {
    static const std::string unsafe = "#',`.\\/:|*?\"";
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (unsafe.find(c) == std::string::npos) out += c;
    return out;
}

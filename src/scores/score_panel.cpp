// score_panel.cpp - the title screen's score panel: the 16 best rounds of the
// chosen difficulty, a graph of recent rounds, the nag box and the details of
// one round. Drawing it also prunes old, unremarkable rounds from the table.
#include "draw/draw.h"
#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "text/text.h"

#include <limits>

namespace {

// Where the details of a round dropped this very frame are kept, so the
// detail box never reads a record that is already gone from the table.
Scores droppedSelection;

// The graph height of a score: score * 150 / best, truncated, without the
// product overflowing for huge scores; kept well inside int range.
int64_t graphHeight(int64_t score, int64_t best) {
    int64_t h;
    if (best <= std::numeric_limits<int64_t>::max() / 150) {
        // Far below zero the bar is clamped anyway, and the product could overflow.
        const int64_t whole = score / best;
        if (whole < -1000000) return -1000000;
        h = whole * 150 + score % best * 150 / best;
    } else {
        h = static_cast<int64_t>(static_cast<long double>(score) * 150 / best);
    }
    return h < -1000000 ? -1000000 : h;
}

bool matches(const Scores& s, int mode, int level, int flags) {
    return s.GameMode == mode && s.Level == level && s.GameFlags == flags;
}

// Puts the record into the first row whose score is strictly lower, or the
// first empty row; the newer of two equal scores therefore stays above.
void rank(const Scores& s) {
    for (int r = 1; r <= 25; ++r) {
        const Scores* held = scores.TopTable[r];
        if (held && held->Score >= s.Score) continue;
        for (int k = 25; k > r; --k) scores.TopTable[k] = scores.TopTable[k - 1];
        scores.TopTable[r] = &s;
        return;
    }
}

bool ranked(const Scores& s) {
    for (int r = 1; r <= 25; ++r)
        if (scores.TopTable[r] == &s) return true;
    return false;
}

// The nag box thanking the author, shown once the table is well filled.
void drawNag(int a, int w, int l) {
    if (Millis() % 10000 > 5000)
        SetTint(0, 0, 110, 0.7f);
    else
        SetTint(0, 0, 80, 0.6f);
    DrawRect(static_cast<float>(l - 2), 0, 330, 200);
    SetFont(display.FontSet[1]);
    const int c = w - 10 - (a + 2) / 2;
    SetTint(255, 255, 0, 1);
    DrawTextAligned(c, 20, "You've been enjoying", 1, 1);
    DrawTextAligned(c, 38, GameTitleFirst, 1, 1);
    DrawTextAligned(c, 56, GameTitleSecond, 1, 1);
    SetTint(255, 128, 0, 1);
    DrawTextAligned(c, 90, "Why not thank Brannoch", 1, 1);
    DrawTextAligned(c, 108, "for making yet another", 1, 1);
    DrawTextAligned(c, 126, "free downloadable game!", 1, 1);
    SetTint(0, 128, 255, 1);
    DrawTextAligned(c, 165, "brannoch.example", 1, 1);
}

// The box with the selected round's name, score, date and badges.
void drawDetails(const Scores& s, int l, int b) {
    SetTint(255, 255, 255, 0.6f);
    DrawRect(static_cast<float>(l - 2), static_cast<float>(b - 566), 330, 140);
    SetFont(display.FontSet[1]);
    SetTint(80, 80, 0, 1);
    DrawTextAligned(l + 4, b - 562, s.Name, 0, 0);
    SetTint(0, 0, 80, 1);
    DrawTextAligned(l + 324, b - 541, std::to_string(s.Score), 2, 0);
    if (s.Best[30] == 1) {
        SetFont(display.FontSet[4]);
        SetTint(0, 80, 0, 1);
        DrawTextAligned(l + 4, b - 516, "Complete!", 0, 1);
    }
    SetTint(0, 0, 0, 1);
    SetFont(display.FontSet[3]);
    DrawTextAligned(l + 4, b - 430, TimestampDate(s.Timestamp) + ", " + TimestampTime(s.Timestamp),
                    0, 2);
    if (!s.Replay.empty()) {
        // The round's replay; the title screen plays it once this frame is over.
        const std::string watch = "Watch replay";
        const int w = MeasureText(watch), h = TextLineHeight();
        const bool over = MouseInRect(l + 324 - w, b - 430 - h, w, h);
        SetTint(0, 0, over ? 160 : 80, 1);
        DrawTextAligned(l + 324, b - 430, watch, 2, 2);
        // One request per click: a held button asks once, even when the
        // replay cannot be played and the box is back on the next frame.
        if (!IsMouseDown(1)) {
            scores.WatchHeld = false;
        } else if (over && !scores.WatchHeld) {
            scores.WatchRequest = s.Replay;
            scores.WatchHeld = true;
        }
    }
    SetZoom(0.28f);
    SetTint(255, 255, 255, 1);
    for (int i = 1; i <= 16; ++i)
        if (FlagBit(s.Badges, i) == 1)
            DrawSprite(display.BadgeSheet, l + 6 + 20 * (i - 1), b - 476, i - 1, SpriteKindMain);
    SetZoom(1);
}

} // namespace

// Draws the panel for one difficulty (mode, level, flags) at visible width a,
// updates the sticky selection and graph scroll, and prunes the table.
int ScorePanel(int a, int mode, int level, int flags) {
    const int w = display.VirtualWidth, hgt = display.VirtualHeight;
    const int b = hgt - 10, l = w - 10 - a;
    int complete = 0;

    // 1. The 25 best of this combination; ties keep the newer round higher.
    int64_t best = 0;
    for (int r = 0; r <= 50; ++r) scores.TopTable[r] = nullptr;
    for (const Scores& s : scores.ScoreTable) {
        if (!matches(s, mode, level, flags)) continue;
        if (s.Score > best) best = s.Score;
        if (s.Best[30] == 1) complete = 1;
        rank(s);
    }
    if (best == 0) best = 1;

    // 2. Table background and the graph's top line.
    SetZoom(1);
    ResetDrawState();
    SetTint(0, 0, 0, 0.6f);
    DrawRect(static_cast<float>(l + 2), static_cast<float>(b - 422), 322, 422);
    SetTint(0, 0, 80, 1);
    DrawLine(static_cast<float>(l + 2), static_cast<float>(b - 150), static_cast<float>(w - 8),
             static_cast<float>(b - 150));

    // 3. The graph, newest at the right, and the pruning: past the 50 newest,
    // only rounds among the 25 best are kept.
    const Scores*& selected = scores.SelectedRecord;
    selected = nullptr;
    int n = 0;
    bool hasPrev = false;
    int px = 0, py = 0;
    int x = w - a + 306 + scores.PanelSlide;
    for (auto it = scores.ScoreTable.begin(); it != scores.ScoreTable.end();) {
        const Scores& s = *it;
        if (!matches(s, mode, level, flags)) {
            ++it;
            continue;
        }
        ++n;
        if (n == scores.SelectedIndex && !selected) selected = &s;
        const bool drop = n > 50 && !ranked(s);
        if (x > l - 4) {
            const int h = static_cast<int>(graphHeight(s.Score, best));
            const int y = b - h;
            SetTint(static_cast<float>(255 - h), 255, 80, 1);
            DrawSprite(display.IconSheet, x - 8, y - 8, 7, SpriteKindMain);
            SetTint(255, static_cast<float>(80 + h), 80, 1);
            if (hasPrev)
                DrawLine(static_cast<float>(x), static_cast<float>(y), static_cast<float>(px),
                         static_cast<float>(py));
            SetTint(0, 0, 0, 0.3f);
            DrawLine(static_cast<float>(x - 9), static_cast<float>(b - 1),
                     static_cast<float>(x - 9), static_cast<float>(b - 150));
            hasPrev = true;
            px = x;
            py = y;
            if (MouseInRect(x - 9, b - 150, 19, 150)) {
                selected = &s;
                if (IsMouseDown(1)) scores.SelectedIndex = n;
            }
            if (selected == &s) {
                SetTint(255, 255, 255, 0.3f);
                DrawRect(static_cast<float>(x - 9), static_cast<float>(b - 150), 19, 150);
            }
            x -= 18;
        }
        if (drop) {
            if (selected == &s) {
                droppedSelection = s;
                droppedSelection.Replay.clear(); // its file goes with it
                selected = &droppedSelection;
            }
            DropReplayOf(s);
            it = scores.ScoreTable.erase(it);
            continue;
        }
        if (selected == &s && IsMouseDown(1)) scores.SelectedIndex = n;
        ++it;
    }

    // 4. Scrolling the graph: the left strip toward older rounds, the right back.
    if (MouseInRect(l - 2, b - 150, 32, 150) && scores.PanelSlide < 1000) scores.PanelSlide += 8;
    if (MouseInRect(l + 280, b - 150, 62, 150) && scores.PanelSlide > 0) scores.PanelSlide -= 8;

    // 5. The table: 16 rows of name and zero-padded score.
    SetFont(display.FontSet[3]);
    int shown = 0;
    for (int r = 1; r <= 16; ++r) {
        const Scores* row = scores.TopTable[r];
        if (!row) continue;
        ++shown;
        if (scores.SelectedIndex - 1000 == r && !selected) selected = row;
        SetTint(255, 255, 255, 1);
        const int yr = b - 426 + 17 * (r - 1);
        if (MouseInRect(l + 4, yr, 320, 18)) {
            selected = row;
            if (IsMouseDown(1)) scores.SelectedIndex = 1000 + r;
        }
        DrawTextAligned(l + 4, yr, row->Name.substr(0, 24), 0, 0);
        DrawTextAligned(l + 324, yr, Right("000000000000" + std::to_string(row->Score), 12), 2, 0);
        if (selected == row) {
            SetTint(255, 255, 255, 0.3f);
            DrawRect(static_cast<float>(l + 4), static_cast<float>(yr), 320, 17);
        }
    }

    // 6. and 7. The nag box once the table is well filled, then the details.
    if (shown > 10) drawNag(a, w, l);
    if (selected) drawDetails(*selected, l, b);
    return complete;
}

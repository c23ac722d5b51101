// layout_test.cpp - every screen in its fullest state at every display size
// the settings panel offers, on the recording back-end: no two texts that the
// layout places apart may overlap, and no text may be cut by the edge of the
// screen. Boxes come from the recorded draws (position after alignment, the
// font's measured advance width and line height, the draw scale).
//
// A second part draws the same screens with the headless SDL renderer at
// 800 x 600 and 1280 x 960 and keeps the pictures under
// build/artefacts/layout/ for a person to look at.
#include "app/app.h"
#include "draw/draw.h"
#include "game/game.h"
#include "platform/recording.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"
#include "ui/ui.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace {

struct Size {
    int w, h;
};
const Size PanelSizes[] = {{640, 480},  {800, 600},   {1024, 768},
                           {1280, 960}, {1920, 1080}, {1680, 1050}};

// A name longer than any line can hold, as a player might paste it.
const char* const LongName = "Bartholomew Quintessence Featherstonehaugh-Wolfeschlegel the Third";

// The round's input: the pointer rests where it covers no text; Escape opens the pause menu, Down
// picks "Quit", F11 takes a screenshot, Space quits; the name entry gets the long name and Enter; a
// key leaves the closing page. Everything before PauseAt runs without input.
const int PauseAt = 60000;
std::string RoundScript() {
    std::ostringstream s;
    s << "0 mouse 700 860\n60000 down 27\n60100 up 27\n60600 down 40\n60700 up 40\n61200 press "
         "122\n"
      << "61400 down 32\n61500 up 32\n64000 type " << LongName << "\n"
      << "66000 press 122\n66300 press 13\n90000 press 32\n";
    return s.str();
}

// What each stage left on screen, handed over right after its last frame.
using StageSeen = std::function<void(const std::string& stage)>;

// Starts the program on a copy of the asset pack at one display size.
void StartAt(Size size, PlatformConfig config, const std::string& tag) {
    std::string dir = MakeFilesCopy(tag);
    WriteWholeFile(dir + "Setup.ini", "[Graphics]\r\nWidth=" + std::to_string(size.w) +
                                          "\r\nHeight=" + std::to_string(size.h) + "\r\n");
    WriteWholeFile(dir + "input.script", RoundScript());
    config.scriptPath = dir + "input.script";
    config.virtualClock = true;
    config.silentAudio = true;
    config.endThrows = true;
    config.startTime = "2026-12-07 18:05:09";
    config.seed = 7;
    PlatformShutdown();
    ASSERT_TRUE(PlatformInit(config)) << PlatformError();
    ResetAllState();
    shell.FilesDir = dir;
    WaitUntil(StartUp());
    ASSERT_EQ(display.PhysicalWidth, size.w);
    ASSERT_EQ(display.PhysicalHeight, size.h);
}

// Sixteen and more rounds of the chosen difficulty with long names, the
// newest one complete and with badges, so the table, the nag box and the
// detail box are all full.
void FillScoreTable() {
    scores.ScoreTable.clear();
    const char* names[] = {"Wilhelmina Thornberry-Ax", "Maximilian Oberwaldstein",
                           "Guinevere Pemberton-Holt", "Bartholomew Quintessence"};
    for (int i = 0; i < 20; ++i) {
        Scores s;
        s.Score = 987654321098LL - int64_t(i) * 40000000000LL;
        s.Name = names[i % 4];
        s.Timestamp = (2026LL * 372 + 340) * 86400 - int64_t(i) * 7200; // December 2026
        s.GameMode = shell.GameMode;
        scores.ScoreTable.push_back(s);
    }
    Scores& top = scores.ScoreTable.front();
    top.Best[30] = 1;
    top.Badges = 0xFFFF;
    scores.SelectedIndex = 1001;
}

// Runs the title screen until it has slid in.
void TitleFrames(TitleState& t, int count) {
    for (int i = 0; i < count; ++i) TitleFrame(t);
}

// Drives every screen into its fullest state, telling after each one. The
// closing page is either the real closing screen (which ends the program) or
// only drawn, on a 640 x 480 window, so that its picture can still be read.
void DriveScreens(const StageSeen& seen, bool realClosing) {
    FillScoreTable();
    frame.ShowStats = 0;
    TitleState t;
    TitleFrames(t, 40);
    seen("title");

    frame.ShowStats = 1;
    TitleFrames(t, 2);
    seen("statistics");
    frame.ShowStats = 0;

    PostNotice("Can't set to fullscreen in this resolution.", 1);
    PostNotice("Saved Screenshot", 1);
    PostNotice("This is a Test Comment", 1);
    TitleFrames(t, 1);
    seen("notices");
    frame.Notices.clear();

    frame.SettingsOpen = 1;
    TitleFrames(t, 12);
    seen("settings-title");
    frame.SettingsOpen = 0;
    TitleFrames(t, 12);

    TakeScreenshot();
    seen("screenshot");
    frame.Notices.clear();

    // A round: the field with enemies and a gun post, the settings panel over
    // it, then (by the script) the pause menu, game over and the name entry.
    BeginRound();
    game.Players.front().health = 99999; // lives until the script quits
    frame.PauseState = 1;
    for (int i = 0; i < 200; ++i) RoundFrame();
    seen("round");
    frame.SettingsOpen = 1;
    for (int i = 0; i < 12; ++i) RoundFrame();
    seen("settings-round");
    frame.SettingsOpen = 0;
    for (int i = 0; i < 12; ++i) RoundFrame();
    ASSERT_LT(Millis(), PauseAt - 200) << "the screens before the pause took too long";
    SleepMillis(PauseAt - 200 - Millis());
    int over = 0;
    for (int i = 0; i < 2000 && over == 0; ++i) over = RoundFrame();
    ASSERT_EQ(over, 99) << "the pause menu's Quit did not end the round";
    seen("game-over");
    FinishRound();
    seen("after-name-entry");
    if (realClosing) {
        try {
            ClosingScreen();
        } catch (const ProcessEnded&) {
        }
    } else {
        CloseDisplay();
        ASSERT_TRUE(OpenDisplay(640, 480, 0, 60)) << PlatformError();
        SetLogicalSize(640, 480);
        DrawClosingPage();
    }
    seen("closing");
}

// ------------------------------------------------------------ the boxes

struct Box {
    float x = 0, y = 0, w = 0, h = 0;
    float nominalH = 0; // the height the layout assumes: the font's size in pixels
    std::string text;
    int font = 0;
    int layer = 0;      // 0 the screen, 1 settings panel, 2 statistics, 3 notices
    bool field = false; // a label that travels with an entity of the round
    bool rotated = false;
    bool picture = false;
};

bool Intersect(const Box& a, const Box& b, bool nominal) {
    float ah = nominal ? a.nominalH : a.h, bh = nominal ? b.nominalH : b.h;
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + bh && b.y < a.y + ah;
}

// The size in pixels the display set-up asked for when it loaded a font.
float NominalSize(int font) {
    static const int slotSize[14] = {0, 24, 16, 16, 20, 96, 72, 32, 32, 14, 112, 96, 32, 20};
    static const int slotScale[14] = {0, 0, 1, 1, 0, 0, 0, 0, 0, 0, -1, -1, -1, -1};
    for (int i = 1; i <= 13; ++i)
        if (display.FontSet[i] == font)
            return slotScale[i] < 0
                       ? float(slotSize[i])
                       : float(ScaledSize(slotSize[i], display.FontScale[slotScale[i]]));
    static const int ladder[9] = {8, 12, 18, 24, 32, 40, 52, 64, 96};
    for (int t = 0; t < 3; ++t)
        for (int step = 0; step < 9; ++step)
            if (display.FontLadder[t * 10 + step] == font)
                return float(ScaledSize(ladder[step], display.FontScale[0]));
    return 0;
}

// The draws of the last frame presented (between the last two Flips).
std::vector<DrawRecord> LastFrame(const std::vector<DrawRecord>& all, size_t end) {
    size_t last = end;
    while (last > 0 && all[last - 1].kind != DrawKind::Flip) --last;
    if (last == 0) return {};
    size_t first = last - 1;
    while (first > 0 && all[first - 1].kind != DrawKind::Flip) --first;
    return std::vector<DrawRecord>(all.begin() + ptrdiff_t(first), all.begin() + ptrdiff_t(last));
}

// The last presented frame of all the draws that holds the text.
std::vector<DrawRecord> LastFrameWith(const std::vector<DrawRecord>& all, const std::string& text) {
    size_t end = all.size();
    while (end > 0) {
        std::vector<DrawRecord> f = LastFrame(all, end);
        if (f.empty()) break;
        for (const DrawRecord& d : f)
            if (d.kind == DrawKind::Text && d.text == text) return f;
        while (end > 0 && all[end - 1].kind != DrawKind::Flip) --end;
        end -= 1; // before the Flip that ended the frame just looked at
    }
    return {};
}

// The text boxes of one frame, each with the layer of the frame driver's
// overlays it belongs to. With pictures, the images too (the closing page
// anchors its logos at their top-left corner), named "[picture n]".
std::vector<Box> BoxesOf(const std::vector<DrawRecord>& draws, int vw, int vh, bool pictures) {
    std::vector<Box> out;
    int layer = 0;
    int fieldFont = display.FontLadder[12];
    for (const DrawRecord& d : draws) {
        if (layer < 1 && d.kind == DrawKind::Rect && d.x == 0 && d.y == 0 && d.w == float(vw) &&
            d.blend == BlendMultiply)
            layer = 1;
        if (layer < 2 && d.kind == DrawKind::Text && d.x == 2 && d.y == 2 && d.sx == 1.5f)
            layer = 2;
        if (layer < 3 && d.kind == DrawKind::Rect && d.x == 0 && d.y == float(vh - 16) &&
            d.alpha > 0.69f && d.alpha < 0.71f)
            layer = 3;
        if (pictures && d.kind == DrawKind::Image) {
            Box b;
            b.x = d.x;
            b.y = d.y;
            b.w = d.w * std::fabs(d.sx);
            b.h = b.nominalH = d.h * std::fabs(d.sy);
            b.text = "[picture " + std::to_string(d.image) + "]";
            b.picture = true;
            out.push_back(b);
        }
        if (d.kind != DrawKind::Text || d.alpha <= 0) continue;
        if (d.text.find_first_not_of(' ') == std::string::npos) continue;
        SetFont(d.font);
        Box b;
        b.x = d.x;
        b.y = d.y;
        b.w = float(MeasureText(d.text)) * std::fabs(d.sx);
        b.h = float(TextLineHeight()) * std::fabs(d.sy);
        b.nominalH = NominalSize(d.font) * std::fabs(d.sy);
        b.text = d.text;
        b.font = d.font;
        b.layer = layer;
        b.field = d.font == fieldFont && layer == 0;
        b.rotated = d.rotation != 0;
        out.push_back(b);
    }
    return out;
}

// Texts drawn on top of each other on purpose: the same text up to 6 pixels
// apart (offsets -3..3 on both sides) is one text with an outline or a shadow.
struct Purposeful {
    const char* text;
    const char* why;
};
const Purposeful Outlines[] = {
    {"Game Over", "a white outline and a near-black rim: the text drawn at every offset up to 3"},
    {"Thanks for Playing", "its shadow, 2 pixels right and down"},
    {"Send Feedback!", "its shadow, 2 pixels right and down"},
};

bool IsOutline(const Box& a, const Box& b) {
    if (a.text != b.text || std::fabs(a.x - b.x) > 6 || std::fabs(a.y - b.y) > 6) return false;
    for (const Purposeful& p : Outlines)
        if (a.text == p.text) return true;
    return false;
}

// Overlaps and cuts that the layout's own geometry makes unavoidable at some
// sizes even with every text at its nominal height (f1, f2: the font scales,
// 1.2 and 1.4 on displays narrower than 900 pixels, else 1). An entry excuses
// a pair only when their boxes overlap (or the box is cut) with nominal
// heights too, so a font taller than its size is still caught.
using PairTest = bool (*)(const Box& a, const Box& b);
struct Known {
    const char* stage; // "" any stage
    PairTest match;    // for a cut b is a itself
    const char* arithmetic;
};

bool InFont(const Box& b, int slot) {
    return b.font == display.FontSet[slot];
}
bool Named(const Box& a, const Box& b, const char* x, const char* y) {
    return (a.text.rfind(x, 0) == 0 && b.text.rfind(y, 0) == 0) ||
           (b.text.rfind(x, 0) == 0 && a.text.rfind(y, 0) == 0);
}
bool IsCredit(const Box& b) {
    for (int i = 1; i < shell.CreditCount; ++i)
        if (!shell.CreditLines[i].empty() && b.text == shell.CreditLines[i]) return true;
    return false;
}

// The title screen's entries hold under every overlay shown over it.
const Known Overlaps[] = {
    {"", [](const Box& a, const Box& b) { return IsCredit(a) && IsCredit(b); },
     "credit lines are 20 apart in FontSet 3, 16 * f2 = 22 px when f2 = 1.4"},
    {"",
     [](const Box& a, const Box& b) {
         return a.layer == 0 && InFont(a, 3) && InFont(b, 3) && std::fabs(a.y - b.y) == 17;
     },
     "score table rows are 17 apart in FontSet 3, 16 * f2 = 22 px when f2 = 1.4"},
    {"",
     [](const Box& a, const Box& b) {
         return a.layer == 0 && b.layer == 0 && InFont(a, 1) && InFont(b, 1) && a.y < 200 &&
                b.y < 200;
     },
     "nag box lines are 18 apart (20, 38, 56; 90, 108, 126) in FontSet 1, 24 * f1 >= 24 px"},
    {"",
     [](const Box& a, const Box& b) {
         return a.layer == 0 && b.layer == 0 && InFont(a, 1) && InFont(b, 1) && a.y > 200 &&
                b.y > 200;
     },
     "detail box: name at B - 562 and score at B - 541 are 21 apart in FontSet 1 (24 * f1 px), "
     "and a 24-character name and a 12-digit score share its 320 px"},
    {"", [](const Box& a, const Box& b) { return Named(a, b, "Zorvek", "Plon"); },
     "title words centred 60 apart: half heights 96 * f1 / 2 + 72 * f1 / 2 = 84 * f1 > 60"},
    {"statistics", [](const Box& a, const Box& b) { return a.layer == 2 && b.layer == 2; },
     "overlay lines 20 apart at scale 1.5 in FontSet 2: 16 * f2 * 1.5 >= 24 > 20; the last two "
     "30 apart: 24 * f2 > 30 when f2 = 1.4; the frame rate at y 2 in FontSet 1: 2 + 24 * f1 * "
     "1.5 > 40 when f1 = 1.2"},
    {"", [](const Box& a, const Box& b) { return a.layer == 3 && b.layer == 3; },
     "notices stack 14 apart in FontSet 3, 16 * f2 >= 16 px"},
    {"", [](const Box& a, const Box& b) { return a.layer == 1 && b.layer == 1; },
     "settings panel: two-line labels 16 apart, the size and its remark 20 apart (o + 108, "
     "o + 128), the remark and the frame-skip label 15 apart (o + 128, o + 154 - 8 * f2 - 3), "
     "all in FontSet 2 (16 * f2 = 22 px when f2 = 1.4); the audio driver's second line (centred "
     "at o + 44, 8 * f2 below it) meets \"Changes require a Restart\" at o + 50"},
    {"screenshot",
     [](const Box& a, const Box& b) { return Named(a, b, "Saving Screenshot", "Sometimes"); },
     "message lines centred 60 apart: half heights 96 * f1 / 2 + 72 * f1 / 2 = 84 * f1 > 60"},
    {"closing",
     [](const Box& a, const Box& b) { return Named(a, b, "Thanks for Playing", "Send Feedback!"); },
     "\"Thanks for Playing\" at y 220 in FontSet 6 (72 * f1 px) reaches 292 or more, "
     "\"Send Feedback!\" starts at 274"},
    {"closing",
     [](const Box& a, const Box& b) { return Named(a, b, "Thanks for Playing", "[picture"); },
     "the 18 characters of \"Thanks for Playing\" would need to fit the 384 px left of the "
     "framework logo at x 384: 21 px each, 0.30 of the 72 px size (0.25 of 86 px when f1 = 1.2), "
     "where the condensed title face averages 0.36"},
};
const Known Cuts[] = {
    {"", [](const Box& a, const Box&) { return a.layer == 3; },
     "the lowest notice starts at VirtualHeight - 16 in FontSet 3, 16 * f2 = 22 px when f2 = 1.4"},
};

const Known* KnownOverlap(const std::string& stage, const Box& a, const Box& b) {
    for (const Known& k : Overlaps)
        if ((!*k.stage || stage == k.stage) && k.match(a, b)) return &k;
    return nullptr;
}

const Known* KnownCut(const std::string& stage, const Box& a) {
    for (const Known& k : Cuts)
        if ((!*k.stage || stage == k.stage) && k.match(a, a)) return &k;
    return nullptr;
}

bool Cut(const Box& b, int vw, int vh, bool nominal) {
    float h = nominal ? b.nominalH : b.h;
    return b.x < 0 || b.y < 0 || b.x + b.w > float(vw) || b.y + h > float(vh);
}

std::string Describe(const Box& b) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " (%g,%g %gx%g)", b.x, b.y, b.w, b.h);
    return "\"" + b.text + "\"" + buf;
}

// Checks one frame; returns the faults, and prints known exceptions met.
std::vector<std::string> CheckFrame(const std::string& stage, const std::vector<DrawRecord>& draws,
                                    int vw, int vh) {
    std::vector<std::string> faults;
    std::vector<Box> boxes = BoxesOf(draws, vw, vh, stage == "closing");
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box& a = boxes[i];
        // The pause menu's title storm spins on purpose behind and over the
        // menu; the field's labels travel with entities that walk in from
        // outside the screen and crowd each other.
        if (a.rotated || a.field) continue;
        if (!a.picture && Cut(a, vw, vh, false)) {
            const Known* k = KnownCut(stage, a);
            if (k && Cut(a, vw, vh, true))
                std::printf("[known] %s: cut %s: %s\n", stage.c_str(), Describe(a).c_str(),
                            k->arithmetic);
            else
                faults.push_back(stage + ": cut by the screen edge " + Describe(a));
        }
        for (size_t j = i + 1; j < boxes.size(); ++j) {
            const Box& b = boxes[j];
            if (b.rotated || b.field || (a.picture && b.picture) || a.layer != b.layer ||
                !Intersect(a, b, false))
                continue;
            if (IsOutline(a, b)) continue;
            const Known* k = KnownOverlap(stage, a, b);
            if (k && Intersect(a, b, true))
                std::printf("[known] %s: %s over %s: %s\n", stage.c_str(), Describe(a).c_str(),
                            Describe(b).c_str(), k->arithmetic);
            else
                faults.push_back(stage + ": " + Describe(a) + " overlaps " + Describe(b));
        }
    }
    return faults;
}

} // namespace

// Every screen at every size the settings panel offers.
TEST(Layout, NoTextOverlapsOrIsCutAtAnySize) {
    for (Size size : PanelSizes) {
        SCOPED_TRACE(std::to_string(size.w) + "x" + std::to_string(size.h));
        PlatformConfig config;
        config.recordingVideo = true;
        StartAt(size, config, "layout");
        if (HasFatalFailure()) return;
        std::vector<std::string> faults;
        std::set<std::string> reported;
        std::string shownName;
        auto seen = [&](const std::string& stage) {
            const auto& all = RecordedDraws();
            int vw = LogicalWidth(), vh = LogicalHeight();
            auto check = [&](const std::string& name, const std::vector<DrawRecord>& f) {
                EXPECT_FALSE(f.empty()) << name << " was not seen";
                // A screen under an overlay is checked once, with the first stage.
                for (auto& fault : CheckFrame(name, f, vw, vh))
                    if (reported.insert(fault.substr(fault.find(": "))).second)
                        faults.push_back(fault);
            };
            // The pause menu and the name entry run inside the round; each is
            // found by its own text.
            if (stage == "game-over") check("pause", LastFrameWith(all, "Continue"));
            if (stage == "after-name-entry") {
                auto f = LastFrameWith(all, "Enter Your Name");
                check("name-entry", f);
                for (const DrawRecord& d : f)
                    if (d.kind == DrawKind::Text && d.font == display.FontSet[5])
                        shownName = d.text.substr(0, d.text.size() - 1); // less the cursor
            } else
                check(stage, LastFrame(all, all.size()));
            ClearRecordedDraws();
        };
        DriveScreens(seen, true);
        for (const std::string& fault : faults) ADD_FAILURE() << fault;
        // The name entry showed the end of the long name within the screen
        // (checked above), and the score table holds the whole name.
        const std::string full = "Player" + std::string(LongName);
        EXPECT_LT(shownName.size(), full.size());
        EXPECT_GT(shownName.size(), std::string("the Third").size());
        EXPECT_EQ(full.substr(full.size() - shownName.size()), shownName);
        EXPECT_EQ(scores.ScoreTable.front().Name, full);
        PlatformShutdown();
    }
}

// The same screens drawn by the headless SDL renderer at 800 x 600 and
// 1280 x 960, kept as PNG pictures for a person to look at. The pause menu
// and the name entry are taken by the game's own F11 screenshots; the other
// screens are read back from the presented frame, so that the overlays F11
// leaves out (settings panel, statistics, notices) are in the picture.
TEST(LayoutPictures, EveryScreenIsKeptAsAPicture) {
    namespace fs = std::filesystem;
    const std::string out = std::string(ZP_BINARY_DIR) + "/artefacts/layout/";
    fs::create_directories(out);
    for (Size size : {Size{800, 600}, Size{1280, 960}}) {
        const std::string tag = std::to_string(size.w) + "x" + std::to_string(size.h);
        SCOPED_TRACE(tag);
        PlatformConfig config;
        config.headless = true;
        StartAt(size, config, "pictures");
        if (HasFatalFailure()) return;
        std::vector<std::string> kept;
        auto seen = [&](const std::string& stage) {
            if (stage == "after-name-entry") return;
            Pixmap picture = GrabPixmap(0, 0, PhysicalWidth(), PhysicalHeight());
            std::string path = out + tag + "-" + stage + ".png";
            ASSERT_TRUE(SavePixmapPng(picture, path, 9)) << PlatformError();
            kept.push_back(path);
        };
        DriveScreens(seen, false);
        // The F11 screenshots, oldest first: the one taken on the title
        // screen, then the pause menu's and the name entry's.
        std::vector<std::string> shots;
        for (const auto& entry : fs::directory_iterator(shell.FilesDir))
            if (entry.path().filename().string().find("(Screenshot_") != std::string::npos)
                shots.push_back(entry.path().string());
        std::sort(shots.begin(), shots.end());
        ASSERT_EQ(shots.size(), 3u);
        fs::copy_file(shots[1], out + tag + "-pause.png", fs::copy_options::overwrite_existing);
        fs::copy_file(shots[2], out + tag + "-name-entry.png",
                      fs::copy_options::overwrite_existing);
        // Every picture has the physical size and is not one flat colour.
        kept.push_back(out + tag + "-pause.png");
        kept.push_back(out + tag + "-name-entry.png");
        for (const std::string& path : kept) {
            Pixmap p;
            ASSERT_TRUE(LoadPixmapPng(path, p)) << path;
            bool closing = path.find("closing") != std::string::npos;
            EXPECT_EQ(p.width, closing ? 640 : size.w) << path;
            EXPECT_EQ(p.height, closing ? 480 : size.h) << path;
            std::set<uint32_t> colours(p.pixels.begin(), p.pixels.end());
            EXPECT_GT(colours.size(), 50u) << path;
        }
        PlatformShutdown();
    }
}

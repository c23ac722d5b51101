// bench_tools_test.cpp - the benchmark helpers that need no display: the
// sprite picture and its BMP copy, reading testsprite2's report and the
// probes' answers, the sprite-count search, and running child programs.
#include "bench.h"

#include <cmath>
#include <csignal>
#include <gtest/gtest.h>

namespace {

// A little-endian 32-bit field of a byte buffer.
uint32_t at32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

TEST(BenchSprite, PictureIsARoundBodyOnTheMaskColour) {
    Pixmap p = BenchSpritePicture();
    ASSERT_EQ(p.width, 32);
    ASSERT_EQ(p.height, 32);
    ASSERT_EQ(p.pixels.size(), 32u * 32u);
    // testsprite2 keys on the top-left pixel and our masked load on black: the
    // body must never use pure black, or holes would differ between the two.
    EXPECT_EQ(p.pixels[0], 0xFF000000u);
    int body = 0;
    for (int y = 0; y < 32; y++) {
        for (int x = 0; x < 32; x++) {
            double dx = x + 0.5 - 16, dy = y + 0.5 - 16;
            bool inside = std::sqrt(dx * dx + dy * dy) <= 15;
            bool black = (p.pixels[size_t(y * 32 + x)] & 0xFFFFFFu) == 0;
            EXPECT_EQ(inside, !black) << "at " << x << "," << y;
            body += inside;
        }
    }
    EXPECT_GT(body, 600);
}

TEST(BenchSprite, BmpHasTheHeaderRowsBottomUpAndPaddedRows) {
    Pixmap p;
    p.width = 3; // 9 bytes of pixels, padded to 12
    p.height = 2;
    p.pixels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFF102030u, 0xFF405060u, 0xFF708090u};
    std::vector<uint8_t> b = EncodeBmp24(p);
    ASSERT_EQ(b.size(), 54u + 24u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(at32(b, 2), 78u);  // file size
    EXPECT_EQ(at32(b, 10), 54u); // pixel offset
    EXPECT_EQ(at32(b, 14), 40u); // info header
    EXPECT_EQ(at32(b, 18), 3u);
    EXPECT_EQ(at32(b, 22), 2u);
    EXPECT_EQ(b[28], 24);
    EXPECT_EQ(at32(b, 30), 0u); // no compression
    // The bottom row comes first, each pixel as blue, green, red.
    const std::vector<uint8_t> bottom = {0x30, 0x20, 0x10, 0x60, 0x50, 0x40, 0x90, 0x80, 0x70};
    const std::vector<uint8_t> top = {0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00};
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 54, b.begin() + 63), bottom);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 66, b.begin() + 75), top);
    EXPECT_EQ(b[63] | b[64] | b[65] | b[75] | b[76] | b[77], 0);

    Pixmap broken;
    broken.width = 4;
    broken.height = 4;
    broken.pixels.assign(3, 0);
    EXPECT_TRUE(EncodeBmp24(broken).empty());
    EXPECT_TRUE(EncodeBmp24(Pixmap{}).empty());
}

TEST(BenchReports, PeerFrameRateIsTheFirstReport) {
    EXPECT_DOUBLE_EQ(PeerFramesPerSecond("INFO: 61.50 frames per second\n"
                                         "INFO: 40.00 frames per second\n"),
                     61.5);
    EXPECT_DOUBLE_EQ(PeerFramesPerSecond("12 frames per second"), 12);
    EXPECT_DOUBLE_EQ(PeerFramesPerSecond("ALSA noise\nINFO:\t7 frames per second"), 7);
    EXPECT_EQ(PeerFramesPerSecond(""), -1);
    EXPECT_EQ(PeerFramesPerSecond("INFO: fast frames per second"), -1);
    EXPECT_EQ(PeerFramesPerSecond(" frames per second"), -1);
    EXPECT_EQ(PeerFramesPerSecond("INFO: 61.5 fps"), -1);
}

TEST(BenchReports, ProbeFieldsAreFoundByWholeKey) {
    const std::string answer = "ALSA lib: no card\nfps 61.25 drawn 4000 engine software\n";
    EXPECT_DOUBLE_EQ(ProbeField(answer, "fps"), 61.25);
    EXPECT_DOUBLE_EQ(ProbeField(answer, "drawn"), 4000);
    EXPECT_EQ(ProbeField(answer, "best"), -1);
    EXPECT_EQ(ProbeField("xfps 3", "fps"), -1);
    EXPECT_DOUBLE_EQ(ProbeField("best 1500\tmain 600", "main"), 600);
}

TEST(BenchSearch, DoublesUntilAFailureThenHalvesTheGap) {
    SpriteSearch s;
    ASSERT_EQ(s.next, 2000);
    AdvanceSearch(s, true);
    EXPECT_EQ(s.lo, 2000);
    EXPECT_EQ(s.next, 4000);
    AdvanceSearch(s, true);
    EXPECT_EQ(s.next, 8000);
    AdvanceSearch(s, false);
    EXPECT_EQ(s.hi, 8000);
    EXPECT_EQ(s.next, 6000);
    AdvanceSearch(s, false);
    EXPECT_EQ(s.next, 5000);
    AdvanceSearch(s, true);
    EXPECT_EQ(s.lo, 5000);
    EXPECT_EQ(s.hi, 6000);
    EXPECT_EQ(s.next, 5500);
    EXPECT_FALSE(SearchSettled(s));
    // Held every time from here, the gap closes and the search settles.
    int steps = 0;
    while (!SearchSettled(s) && steps < 20) AdvanceSearch(s, true), steps++;
    EXPECT_TRUE(SearchSettled(s));
    EXPECT_GE(s.lo, 5700); // within 5 % of the failed count
    EXPECT_LT(s.lo, 6000);
}

TEST(BenchSearch, AMachineThatHoldsNothingEndsAtOneSprite) {
    SpriteSearch s;
    for (int i = 0; i < 16; i++) AdvanceSearch(s, false);
    EXPECT_EQ(s.lo, 0);
    EXPECT_EQ(s.next, 1);
    EXPECT_TRUE(SearchSettled(s));
}

TEST(BenchChildren, StatusOutputAndDisplayOfAChild) {
    ChildRun run =
        RunChild({"/bin/sh", "-c", "echo \"shown on $DISPLAY\"; echo oops >&2; exit 3"}, ":55", 0);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.output.find("shown on :55"), std::string::npos);
    EXPECT_NE(run.output.find("oops"), std::string::npos);

    ChildRun missing = RunChild({"/nonexistent/program"}, "", 0);
    EXPECT_EQ(missing.status, 127);
    EXPECT_NE(missing.output.find("cannot run"), std::string::npos);
}

TEST(BenchChildren, AChildIsInterruptedOnceItPrintsTheAwaitedText) {
    // Without the interrupt this child would run for ten minutes.
    ChildRun run = RunChild({"/bin/sh", "-c", "echo 'INFO: 60 frames per second'; exec sleep 600"},
                            "", 600000, " frames per second\n");
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.status, 128 + SIGINT);
    EXPECT_DOUBLE_EQ(PeerFramesPerSecond(run.output), 60);
}

} // namespace

// platform_image_test.cpp - the recording video back-end, PNG files, image
// sheets and fonts: what tests of the rest of the program rely on, and that
// bad pictures and fonts fail cleanly.
#include "platform/platform.h"
#include "platform/recording.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

const char* const FontPath = "/usr/share/fonts/truetype/open-sans/OpenSans-Regular.ttf";

// A fresh temporary folder, with a trailing "/".
std::string freshDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zp-image-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return "/tmp/";
    return pattern + "/";
}

// Writes raw bytes to a file.
void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Reads a whole file as bytes.
std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// CRC-32 of PNG chunks, to forge headers with valid checksums.
uint32_t crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string bigEndian(uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// A PNG signature and a well-formed header chunk claiming the given size.
std::string pngHeader(uint32_t width, uint32_t height) {
    std::string body =
        "IHDR" + bigEndian(width) + bigEndian(height) + std::string("\x08\x06\0\0\0", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + bigEndian(13) + body + bigEndian(crc32(body));
}

struct Recording : ::testing::Test {
    std::string dir;

    void SetUp() override {
        PlatformShutdown();
        PlatformConfig config;
        config.recordingVideo = true;
        config.virtualClock = true;
        config.silentAudio = true;
        config.endThrows = true;
        config.seed = 1;
        ASSERT_TRUE(PlatformInit(config)) << PlatformError();
        dir = freshDir();
    }
    void TearDown() override {
        PlatformShutdown();
        std::filesystem::remove_all(dir);
    }

    // A w x h picture whose pixels all differ, saved as PNG.
    std::string sheet(const std::string& name, int w, int h) {
        Pixmap pm{w, h, std::vector<uint32_t>(size_t(w * h))};
        for (size_t i = 0; i < pm.pixels.size(); i++)
            pm.pixels[i] = 0xFF000000u | uint32_t(i * 7919);
        std::string path = dir + name;
        EXPECT_TRUE(SavePixmapPng(pm, path, 6)) << PlatformError();
        return path;
    }

    // Expects a failure message naming the file, on one line.
    void expectMessageAbout(const std::string& path) {
        EXPECT_NE(PlatformError().find(path), std::string::npos) << PlatformError();
        EXPECT_EQ(PlatformError().find('\n'), std::string::npos);
    }
};

TEST_F(Recording, DrawsAreRecordedWithTheStateInForce) {
    SetColor(10, 20, 30);
    SetAlpha(0.25f);
    SetBlend(BlendAdd);
    SetDrawScale(2, -3);
    SetDrawRotation(45);
    DrawRect(1, 2, 3, 4);
    SetColor(300, -5, 255); // kept within 0..255
    SetAlpha(7);
    SetBlend(99); // unknown: unchanged
    DrawLine(5, 6, 7, 8);
    const std::vector<DrawRecord>& draws = RecordedDraws();
    ASSERT_EQ(draws.size(), 2u);
    const DrawRecord& rect = draws[0];
    EXPECT_EQ(rect.kind, DrawKind::Rect);
    EXPECT_EQ(rect.x, 1);
    EXPECT_EQ(rect.h, 4);
    EXPECT_EQ(rect.r, 10);
    EXPECT_EQ(rect.b, 30);
    EXPECT_FLOAT_EQ(rect.alpha, 0.25f);
    EXPECT_EQ(rect.blend, BlendAdd);
    EXPECT_EQ(rect.sx, 2);
    EXPECT_EQ(rect.sy, -3);
    EXPECT_EQ(rect.rotation, 45);
    const DrawRecord& line = draws[1];
    EXPECT_EQ(line.kind, DrawKind::Line);
    EXPECT_EQ(line.w, 7); // second point
    EXPECT_EQ(line.h, 8);
    EXPECT_EQ(line.r, 255);
    EXPECT_EQ(line.g, 0);
    EXPECT_EQ(line.alpha, 1);
    EXPECT_EQ(line.blend, BlendAdd);
    int r, g, b;
    GetColor(r, g, b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(GetDrawBlend(), BlendAdd);
    float sx, sy;
    GetDrawScale(sx, sy);
    EXPECT_EQ(sy, -3);
    EXPECT_EQ(GetDrawRotation(), 45);
}

TEST_F(Recording, FreshStartHasTheDefaultStateAndNoDraws) {
    SetColor(1, 2, 3);
    DrawRect(0, 0, 1, 1);
    SetUp(); // a second start forgets everything
    EXPECT_TRUE(RecordedDraws().empty());
    int r, g, b;
    GetColor(r, g, b);
    EXPECT_EQ(r + g + b, 3 * 255);
    EXPECT_EQ(GetDrawAlpha(), 1);
    EXPECT_EQ(GetDrawBlend(), BlendAlpha);
    EXPECT_EQ(CurrentFont(), 0);
}

TEST_F(Recording, FlipsAndClearsAreRecordsAndSplitFrames) {
    ClearScreen();
    DrawRect(0, 0, 1, 1);
    Flip(-1);
    DrawRect(5, 5, 1, 1);
    DrawString("hi", 3, 4);
    std::vector<DrawRecord> frame = DrawsSinceFlip();
    ASSERT_EQ(frame.size(), 2u);
    EXPECT_EQ(frame[0].x, 5);
    EXPECT_EQ(frame[1].kind, DrawKind::Text);
    EXPECT_EQ(frame[1].text, "hi");
    EXPECT_EQ(RecordedDraws()[0].kind, DrawKind::Clear);
    EXPECT_EQ(RecordedDraws()[2].kind, DrawKind::Flip);
    ClearRecordedDraws();
    EXPECT_TRUE(RecordedDraws().empty());
    EXPECT_TRUE(DrawsSinceFlip().empty());
}

TEST_F(Recording, ImagesRecordHandleFrameAndFrameSize) {
    int image = LoadImageSheet(sheet("s.png", 64, 32), 16, 16, 8, ImageMasked | ImageFiltered);
    ASSERT_NE(image, 0) << PlatformError();
    DrawImageFrame(image, 10, 20, 7);
    DrawImageFrame(image, 10, 20, 8); // no such frame
    DrawImageFrame(image, 10, 20, -1);
    DrawImageFrame(0, 10, 20, 0); // no image
    ASSERT_EQ(RecordedDraws().size(), 1u);
    const DrawRecord& d = RecordedDraws()[0];
    EXPECT_EQ(d.kind, DrawKind::Image);
    EXPECT_EQ(d.image, image);
    EXPECT_EQ(d.frame, 7);
    EXPECT_EQ(d.w, 16);
    EXPECT_EQ(d.h, 16);
    FreeImage(image);
    EXPECT_EQ(ImageFrameWidth(image), 0);
    DrawImageFrame(image, 10, 20, 0); // freed: nothing
    EXPECT_EQ(RecordedDraws().size(), 1u);
}

TEST_F(Recording, EveryDrawnPrimitiveCostsVirtualTime) {
    SetVirtualDrawCost(2000);
    int image = CreateImage(4, 4, 0);
    int start = Millis();
    DrawRect(0, 0, 1, 1);
    DrawLine(0, 0, 1, 1);
    DrawImageFrame(image, 0, 0, 0);
    DrawString("a whole run of glyphs", 0, 0); // one primitive
    DrawImageFrame(0, 0, 0, 0);                // nothing drawn, nothing charged
    EXPECT_EQ(Millis() - start, 8);
}

TEST_F(Recording, DisplayOpensAsNumbersWithAFixedModeList) {
    EXPECT_FALSE(DisplayIsOpen());
    SetGraphicsEngine(1);
    ASSERT_TRUE(OpenDisplay(1280, 720, 0, 60));
    EXPECT_TRUE(DisplayIsOpen());
    EXPECT_EQ(OpenedEngineName(), "opengles2");
    EXPECT_EQ(PhysicalWidth(), 1280);
    EXPECT_EQ(LogicalHeight(), 720);
    SetLogicalSize(1600, 900);
    EXPECT_EQ(LogicalWidth(), 1600);
    EXPECT_EQ(PhysicalWidth(), 1280);
    EXPECT_TRUE(DisplayModeExists(1920, 1080, 32));
    EXPECT_TRUE(DisplayModeExists(1366, 768, 16));
    EXPECT_FALSE(DisplayModeExists(1920, 1080, 24));
    EXPECT_FALSE(DisplayModeExists(1280, 1024, 32));
    EXPECT_EQ(CountDisplayModes(), 22);
    SetRecordedDisplayModes({{1920, 1080, 32, 60}, {1280, 1024, 24, 75}});
    EXPECT_EQ(CountDisplayModes(), 2);
    EXPECT_EQ(DisplayModeAt(1).refresh, 75);
    EXPECT_TRUE(DisplayModeExists(1280, 1024, 24));
    EXPECT_FALSE(OpenDisplay(0, 600, 0, 60));
    EXPECT_FALSE(PlatformError().empty());
    EXPECT_FALSE(DisplayIsOpen());
}

TEST_F(Recording, GrabsAreBlackAtTheAskedSize) {
    ASSERT_TRUE(OpenDisplay(320, 240, 0, 60));
    Pixmap grab = GrabPixmap(0, 0, PhysicalWidth(), PhysicalHeight());
    ASSERT_EQ(grab.width, 320);
    ASSERT_EQ(grab.height, 240);
    ASSERT_EQ(grab.pixels.size(), 320u * 240u);
    EXPECT_EQ(grab.pixels[1234], 0xFF000000u);
    int snapshot = CreateImage(320, 240, 0);
    GrabImage(snapshot, 0, 0);
    EXPECT_EQ(ImageFrameWidth(snapshot), 320);
    EXPECT_EQ(ImageFrameCount(snapshot), 1);
    EXPECT_EQ(CreateImage(0, 10, 0), 0);
    EXPECT_EQ(CreateImage(100000, 100000, 0), 0);
}

TEST_F(Recording, FontsAreMeasuredWithRealMetrics) {
    int font = LoadFont(FontPath, 24);
    ASSERT_NE(font, 0) << PlatformError();
    EXPECT_EQ(MeasureText("i"), 0); // not current yet
    SetFont(font);
    EXPECT_EQ(CurrentFont(), font);
    int i = MeasureText("i"), w = MeasureText("W");
    EXPECT_GT(i, 0);
    EXPECT_GT(w, i);
    EXPECT_EQ(MeasureText("ii"), 2 * i);
    EXPECT_EQ(MeasureText("Wii"), w + 2 * i);
    EXPECT_EQ(MeasureText(""), 0);
    EXPECT_GT(MeasureText(" "), 0);
    EXPECT_GT(MeasureText("\xe9"), 0); // Latin-1 e acute
    int small = TextLineHeight();
    EXPECT_GE(small, 24);
    EXPECT_LE(small, 40);
    int big = LoadFont(FontPath, 96);
    SetFont(big);
    EXPECT_GT(TextLineHeight(), 3 * small);
    EXPECT_GT(MeasureText("ii"), 3 * i);
    DrawString("x", 1, 2);
    EXPECT_EQ(RecordedDraws().back().font, big);
    FreeFont(big);
    EXPECT_EQ(CurrentFont(), 0);
    EXPECT_EQ(TextLineHeight(), 0);
    SetFont(9999);
    EXPECT_EQ(CurrentFont(), 0);
}

TEST_F(Recording, MissingOrCorruptFontsGiveZeroAndSayWhy) {
    EXPECT_EQ(LoadFont(dir + "absent.ttf", 20), 0);
    expectMessageAbout(dir + "absent.ttf");
    writeBytes(dir + "junk.ttf", std::string(5000, 'x'));
    EXPECT_EQ(LoadFont(dir + "junk.ttf", 20), 0);
    expectMessageAbout(dir + "junk.ttf");
    writeBytes(dir + "cut.ttf", readBytes(FontPath).substr(0, 300));
    EXPECT_EQ(LoadFont(dir + "cut.ttf", 20), 0);
    EXPECT_EQ(LoadFont(FontPath, 0), 0);
    EXPECT_EQ(LoadFont(FontPath, -5), 0);
    EXPECT_NE(LoadFont(FontPath, 20), 0); // and a good one still loads afterwards
}

TEST_F(Recording, PngRoundTripKeepsEveryPixel) {
    // Opaque pictures go out without alpha, others with it; both come back equal.
    for (uint32_t alphaMask : {0xFF000000u, 0x00000000u}) {
        Pixmap pm{37, 23, {}};
        for (int i = 0; i < 37 * 23; i++)
            pm.pixels.push_back(uint32_t(i) * 2654435761u | alphaMask);
        std::string path = dir + "round.png";
        ASSERT_TRUE(SavePixmapPng(pm, path, 9)) << PlatformError();
        Pixmap back;
        ASSERT_TRUE(LoadPixmapPng(path, back)) << PlatformError();
        EXPECT_EQ(back.width, 37);
        EXPECT_EQ(back.height, 23);
        EXPECT_EQ(back.pixels, pm.pixels);
    }
    // Level 9 compresses a plain picture far below its raw size.
    Pixmap flat{200, 100, std::vector<uint32_t>(20000, 0xFF336699u)};
    ASSERT_TRUE(SavePixmapPng(flat, dir + "flat.png", 9));
    EXPECT_LT(std::filesystem::file_size(dir + "flat.png"), 2000u);
}

TEST_F(Recording, SavingFailuresAreReportedAndLeaveNoFile) {
    Pixmap pm{4, 4, std::vector<uint32_t>(16, 0xFFFFFFFFu)};
    EXPECT_FALSE(SavePixmapPng(pm, dir + "no/such/folder/x.png", 9));
    expectMessageAbout(dir + "no/such/folder/x.png");
    Pixmap wrong{4, 4, std::vector<uint32_t>(15)};
    EXPECT_FALSE(SavePixmapPng(wrong, dir + "wrong.png", 9));
    EXPECT_FALSE(std::filesystem::exists(dir + "wrong.png"));
    Pixmap empty;
    EXPECT_FALSE(SavePixmapPng(empty, dir + "empty.png", 9));
    EXPECT_FALSE(std::filesystem::exists(dir + "empty.png"));
    // A failed save leaves an earlier picture of that name as it was, and no
    // temporary file behind.
    ASSERT_TRUE(SavePixmapPng(pm, dir + "keep.png", 9));
    std::string before = readBytes(dir + "keep.png");
    EXPECT_FALSE(SavePixmapPng(wrong, dir + "keep.png", 9));
    EXPECT_EQ(readBytes(dir + "keep.png"), before);
    // Written in full but the name cannot be taken (a folder has it).
    std::filesystem::create_directory(dir + "taken.png");
    EXPECT_FALSE(SavePixmapPng(pm, dir + "taken.png", 9));
    expectMessageAbout(dir + "taken.png");
    EXPECT_TRUE(std::filesystem::is_directory(dir + "taken.png"));
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) files += entry.exists();
    EXPECT_EQ(files, 2); // keep.png and the folder, no temporary left
}

TEST_F(Recording, SheetsGiveAsManyWholeCellsAsFit) {
    std::string path = sheet("cells.png", 64, 40); // 4 x 2 whole cells of 16, 8 rows left over
    int all = LoadImageSheet(path, 16, 16, 64, 0);
    EXPECT_EQ(ImageFrameCount(all), 8);
    EXPECT_EQ(ImageFrameWidth(all), 16);
    EXPECT_EQ(ImageFrameHeight(all), 16);
    EXPECT_EQ(ImageFrameCount(LoadImageSheet(path, 16, 16, 3, 0)), 3);
    EXPECT_EQ(ImageFrameCount(LoadImageSheet(path, 16, 16, 0, 0)), 8);
    int wide = LoadImageSheet(path, 32, 8, 100, 0);
    EXPECT_EQ(ImageFrameCount(wide), 10);
    EXPECT_EQ(ImageFrameHeight(wide), 8);
    // Smaller than one cell: one frame of the cell's size.
    int tiny = LoadImageSheet(path, 100, 100, 4, 0);
    EXPECT_EQ(ImageFrameCount(tiny), 1);
    EXPECT_EQ(ImageFrameWidth(tiny), 100);
    EXPECT_EQ(LoadImageSheet(path, 0, 16, 4, 0), 0);
    int single = LoadImage(path, 0);
    EXPECT_EQ(ImageFrameCount(single), 1);
    EXPECT_EQ(ImageFrameWidth(single), 64);
    EXPECT_EQ(ImageFrameHeight(single), 40);
    EXPECT_NE(single, all); // every load is its own handle
}

TEST_F(Recording, MissingCorruptOrAbsurdPicturesGiveZeroAndSayWhy) {
    std::string good = readBytes(sheet("good.png", 30, 30));
    struct Case {
        std::string name, bytes;
    };
    const Case cases[] = {
        {"empty.png", ""},
        {"text.png", "this is not a picture at all"},
        {"cut.png", good.substr(0, good.size() / 2)},
        {"header-only.png", pngHeader(30, 30)},
        {"huge.png", pngHeader(100000, 100000) + good.substr(33)},
        {"zero.png", pngHeader(0, 30) + good.substr(33)},
    };
    for (const Case& c : cases) {
        writeBytes(dir + c.name, c.bytes);
        EXPECT_EQ(LoadImage(dir + c.name, ImageMasked), 0) << c.name;
        expectMessageAbout(dir + c.name);
        EXPECT_EQ(LoadImageSheet(dir + c.name, 8, 8, 4, 0), 0) << c.name;
        Pixmap out;
        EXPECT_FALSE(LoadPixmapPng(dir + c.name, out)) << c.name;
    }
    EXPECT_EQ(LoadImage(dir + "absent.png", 0), 0);
    expectMessageAbout(dir + "absent.png");
    EXPECT_EQ(LoadImage(dir, 0), 0); // a folder
    EXPECT_NE(LoadImage(dir + "good.png", 0), 0);
}

TEST_F(Recording, HandleZeroIsQuietEverywhere) {
    EXPECT_EQ(ImageFrameWidth(0), 0);
    EXPECT_EQ(ImageFrameHeight(-3), 0);
    EXPECT_EQ(ImageFrameCount(77), 0);
    SetImageHandle(0, 1, 1);
    GrabImage(0, 0, 0);
    FreeImage(0);
    FreeFont(0);
    DrawImageFrame(0, 0, 0, 0);
    EXPECT_TRUE(RecordedDraws().empty());
}

} // namespace

// assets_test.cpp - the built asset pack: every file the game loads is there,
// loads, has the sizes and transparency the drawing code relies on, and the
// generator that makes it is repeatable and stops on a broken source.
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Loads a picture of the pack; fails the test when it does not load.
Pixmap picture(const std::string& relative) {
    Pixmap map;
    EXPECT_TRUE(LoadPixmapPng(BuiltFilesDir() + relative, map))
        << relative << ": " << PlatformError();
    return map;
}

// Opaque pixels in one 16 x 16 cell of an 8 x 8 sheet.
int inkInCell(const Pixmap& sheet, int cell) {
    int count = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (sheet.pixels[(cell / 8 * 16 + y) * sheet.width + cell % 8 * 16 + x] >> 24) ++count;
    return count;
}

// The pixels of one cell, for comparing animation frames.
std::vector<uint32_t> cellPixels(const Pixmap& sheet, int cell) {
    std::vector<uint32_t> out;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            out.push_back(sheet.pixels[(cell / 8 * 16 + y) * sheet.width + cell % 8 * 16 + x]);
    return out;
}

// Every pixel is either fully transparent black (the mask) or opaque and not
// pure black (which the loader would punch out).
void expectCleanMask(const Pixmap& map, const std::string& name) {
    int bad = 0;
    for (uint32_t p : map.pixels) {
        uint32_t alpha = p >> 24;
        if (alpha == 0 ? (p & 0xffffff) != 0 : (p & 0xffffff) == 0) ++bad;
    }
    EXPECT_EQ(bad, 0) << name << " has pixels that the black mask would get wrong";
}

// A 16-bit mono PCM WAV file read back.
struct Wav {
    int rate = 0, channels = 0, bits = 0;
    std::vector<int16_t> samples;
};

// Reads the plain RIFF layout the generator writes; empty on anything else.
Wav readWav(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Wav wav;
    auto u16 = [&](size_t at) { return uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8; };
    auto u32 = [&](size_t at) { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; };
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") || bytes.compare(8, 8, "WAVEfmt ") ||
        bytes.compare(36, 4, "data") || u32(4) != bytes.size() - 8 || u32(40) != bytes.size() - 44)
        return wav;
    wav.channels = u16(22);
    wav.rate = int(u32(24));
    wav.bits = u16(34);
    for (size_t at = 44; at + 1 < bytes.size(); at += 2) wav.samples.push_back(int16_t(u16(at)));
    return wav;
}

// The strongest period of a sound in Hz, by autocorrelation over its first 0.2 s.
double pitchOf(const Wav& wav) {
    size_t n = std::min(wav.samples.size(), size_t(wav.rate / 5));
    int best = 0;
    double bestScore = 0;
    for (int lag = wav.rate / 1000; lag < wav.rate / 50; ++lag) {
        double score = 0;
        for (size_t i = 0; i + lag < n; ++i) score += double(wav.samples[i]) * wav.samples[i + lag];
        if (score > bestScore) bestScore = score, best = lag;
    }
    return best ? double(wav.rate) / best : 0;
}

// Runs the generator; returns its exit status and what it printed.
int runGenerator(const std::string& sources, const std::string& output, std::string& printed) {
    std::string log = output + ".log";
    std::string command = std::string("\"") + ZP_BINARY_DIR + "/zp-assetgen\" \"" + sources +
                          "\" \"" + output + "\" > \"" + log + "\" 2>&1";
    int status = std::system(command.c_str());
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    printed = text.str();
    return status;
}

const std::vector<std::string> PitchedStems = {"bass", "lead", "accompany"};

} // namespace

TEST(AssetPack, SheetsHaveTheSizesTheLoaderCutsThemInto) {
    Pixmap icons = picture("Common/icons.png"), gfx = picture("251/gfx.png");
    Pixmap badges = picture("251/badges.png");
    EXPECT_EQ(icons.width, 128);
    EXPECT_EQ(icons.height, 128);
    EXPECT_EQ(gfx.width, 128);
    EXPECT_EQ(gfx.height, 128);
    EXPECT_EQ(badges.width, 256);
    EXPECT_EQ(badges.height, 256);
    for (const char* logo : {"Common/logo.png", "Common/Palvex.png"}) {
        Pixmap map = picture(logo);
        EXPECT_GE(map.width, 128) << logo;
        EXPECT_GE(map.height, 64) << logo;
        EXPECT_EQ(map.pixels.front() >> 24, 0u) << logo << ": the background must be transparent";
        expectCleanMask(map, logo);
    }
    expectCleanMask(icons, "icons.png");
    expectCleanMask(gfx, "gfx.png");
    expectCleanMask(badges, "badges.png");
}

TEST(AssetPack, EveryCellTheGameDrawsHasAPicture) {
    Pixmap icons = picture("Common/icons.png"), gfx = picture("251/gfx.png");
    for (int cell : {0, 3, 7, 8, 9, 10, 11, 12, 13, 14, 18, 19, 20, 21, 22, 23, 24, 25, 26, 63})
        EXPECT_GT(inkInCell(icons, cell), 20) << "icon cell " << cell;
    for (int cell : {0, 1, 2, 3, 4, 5, 8, 9, 10, 16, 17, 18, 19, 20, 21, 22, 23, 24, 63})
        EXPECT_GT(inkInCell(gfx, cell), 20) << "sprite cell " << cell;
    // Animations really move: neighbouring frames differ.
    for (int cell : {0, 1, 3, 4, 8, 9, 16, 17, 18, 19, 20, 21, 22})
        EXPECT_NE(cellPixels(gfx, cell), cellPixels(gfx, cell + 1)) << "sprite cell " << cell;
    // Sixteen different badges.
    Pixmap badges = picture("251/badges.png");
    std::set<std::vector<uint32_t>> distinct;
    for (int b = 0; b < 16; ++b) {
        std::vector<uint32_t> cell;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                cell.push_back(badges.pixels[(b / 4 * 64 + y) * 256 + b % 4 * 64 + x]);
        EXPECT_NE(cell[32 * 64 + 32] >> 24, 0u) << "badge " << b + 1 << " has no middle";
        distinct.insert(cell);
    }
    EXPECT_EQ(distinct.size(), 16u);
}

TEST(AssetPack, PointerTipSitsAtTheTopLeftOfItsCell) {
    Pixmap icons = picture("Common/icons.png");
    const int left = 7 * 16, top = 7 * 16; // cell 63
    auto at = [&](int x, int y) { return icons.pixels[(top + y) * 128 + left + x]; };
    EXPECT_NE(at(0, 0) >> 24, 0u) << "the tip pixel must be opaque";
    EXPECT_NE(at(1, 1) >> 24, 0u);
    EXPECT_EQ(at(15, 0) >> 24, 0u) << "the arrow points up-left, the top-right stays clear";
    EXPECT_EQ(at(0, 15) >> 24, 0u);
    // White body: the pixel just inside the tip's rim is light.
    EXPECT_GT(at(1, 2) & 0xff, 200u);
}

TEST(AssetPack, TypefacesLoadUnderTheirPackNames) {
    StartDoubles();
    for (const char* name : {"SVBasicManual.ttf", "Blue Highway.ttf", "Acknowledge TT BRK.ttf"}) {
        int font = LoadFont(BuiltFilesDir() + "Common/" + name, 24);
        EXPECT_NE(font, 0) << name << ": " << PlatformError();
        SetFont(font);
        EXPECT_GT(MeasureText("Zorvek Plon"), 40) << name;
        FreeFont(font);
    }
    std::ifstream licences(BuiltFilesDir() + "Common/FONT-LICENSES.txt");
    std::stringstream text;
    text << licences.rdbuf();
    for (const char* word : {"Liberation Sans Narrow", "Bebas Neue", "DotGothic16", "OFL-1.1",
                             "General Public License"})
        EXPECT_NE(text.str().find(word), std::string::npos) << word;
}

TEST(AssetPack, SoundsAreShortCleanMonoPcmThatThePlatformLoads) {
    StartDoubles();
    std::vector<std::string> files = {"Common/badgeget.wav", "251/001.wav", "251/002.wav",
                                      "251/003.wav"};
    for (int n = 1; n <= 8; ++n) {
        files.push_back("251/music/d1-" + std::to_string(n) + ".wav");
        files.push_back("251/music/d2-" + std::to_string(n) + ".wav");
    }
    for (int n = 1; n <= 4; ++n)
        for (const std::string& family : PitchedStems)
            files.push_back("251/music/" + family + std::to_string(n) + ".wav");
    for (const std::string& file : files) {
        std::string path = BuiltFilesDir() + file;
        EXPECT_NE(LoadSound(path), 0) << file << ": " << PlatformError();
        Wav wav = readWav(path);
        ASSERT_FALSE(wav.samples.empty()) << file << " is not a plain PCM WAV";
        EXPECT_EQ(wav.channels, 1) << file;
        EXPECT_EQ(wav.bits, 16) << file;
        EXPECT_EQ(wav.rate, 22050) << file;
        double seconds = double(wav.samples.size()) / wav.rate;
        EXPECT_GT(seconds, 0.04) << file;
        EXPECT_LE(seconds, 1.2) << file;
        int peak = 0;
        for (int16_t s : wav.samples) peak = std::max(peak, std::abs(int(s)));
        EXPECT_GT(peak, 8000) << file << " is nearly silent";
        // Soft ends: no click when the step player cuts in or out.
        EXPECT_LT(std::abs(int(wav.samples.front())), 200) << file;
        EXPECT_LT(std::abs(int(wav.samples.back())), 200) << file;
    }
    EXPECT_LE(readWav(BuiltFilesDir() + "251/002.wav").samples.size(), 22050u / 4)
        << "the shot is short";
}

TEST(AssetPack, PitchedStemsSoundTheirBaseNote) {
    // Rate 1.0 is the note key q: bass at C3, lead and accompaniment at C4.
    const std::map<std::string, double> base = {
        {"bass", 130.81}, {"lead", 261.63}, {"accompany", 261.63}};
    for (const std::string& family : PitchedStems) {
        for (int n = 1; n <= 4; ++n) {
            std::string file = "251/music/" + family + std::to_string(n) + ".wav";
            double pitch = pitchOf(readWav(BuiltFilesDir() + file));
            // The strongest period may be the note or an octave below it (a sub-oscillator).
            double ratio = pitch / base.at(family);
            bool onNote = std::fabs(ratio - 1) < 0.03 || std::fabs(ratio - 0.5) < 0.015;
            EXPECT_TRUE(onNote) << file << " sounds at " << pitch << " Hz";
        }
    }
}

TEST(AssetPack, ArrangementHasEverySectionAndOnlyPlayableCharacters) {
    std::ifstream in(BuiltFilesDir() + "251/music/groove.ini");
    ASSERT_TRUE(in.good());
    const std::string noteKeys = "zsxdcvgbhnjmq2w3er5t6y7ui9o0p[=] ";
    std::map<std::string, int> patterns;
    std::string section, line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("[", 0) == 0) {
            section = line;
            patterns[section];
            continue;
        }
        if (line.rfind("\"", 0) != 0) continue;
        ASSERT_GE(line.size(), 2u);
        ASSERT_EQ(line.back(), '"') << line;
        std::string text = line.substr(1, line.size() - 2);
        ++patterns[section];
        if (section == "[DRUMS]") {
            EXPECT_EQ(text.find_first_not_of("12345678 "), std::string::npos) << text;
            EXPECT_TRUE(text.size() == 16 || text.size() == 32) << text;
        } else if (section == "[CHORDS]") {
            EXPECT_EQ(text.find_first_not_of(noteKeys), std::string::npos) << text;
            EXPECT_EQ(text.find(' '), std::string::npos) << "a chord line has no rests: " << text;
            EXPECT_EQ(text.size() % 4, 0u) << "four chords to a bar: " << text;
        } else {
            EXPECT_EQ(text.find_first_not_of(noteKeys), std::string::npos)
                << section << " " << text;
            EXPECT_EQ(64 % text.size(), 0u) << "a line fits the 64-step bar evenly: " << text;
        }
    }
    for (const char* name : {"[DRUMS]", "[CHORDS]", "[BASS]", "[MELODY]", "[ACCOMPANY]"})
        EXPECT_GT(patterns[name], 0) << name << " is missing or has no pattern lines";
}

TEST(AssetGenerator, RebuildsThePackByteForByte) {
    std::string out = MakeTempDir("assetgen") + "Files";
    std::string printed;
    ASSERT_EQ(runGenerator(std::string(ZP_SOURCE_DIR) + "/assets", out, printed), 0) << printed;
    // Walk the fresh pack: the built folder also holds what the game wrote there.
    int compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        if (!entry.is_regular_file()) continue;
        std::string relative = fs::relative(entry.path(), out).string();
        std::ifstream a(entry.path(), std::ios::binary),
            b(BuiltFilesDir() + relative, std::ios::binary);
        std::stringstream sa, sb;
        sa << a.rdbuf();
        sb << b.rdbuf();
        EXPECT_TRUE(b.good() && sa.str() == sb.str()) << relative << " differs on a second run";
        ++compared;
    }
    EXPECT_GE(compared, 40);
    fs::remove_all(fs::path(out).parent_path());
}

TEST(AssetGenerator, StopsWithTheFileAndLineOfABrokenSource) {
    std::string root = MakeTempDir("assetsrc");
    fs::copy(std::string(ZP_SOURCE_DIR) + "/assets", root + "assets", fs::copy_options::recursive);
    std::string printed;

    // A grid row with a character the palette does not know.
    std::string grid = root + "assets/gfx/gfx.txt";
    std::ifstream in(grid);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    std::string broken = text.str();
    size_t cell = broken.find("\ncell 24");
    ASSERT_NE(cell, std::string::npos);
    size_t row = broken.find('\n', cell + 1) + 1;
    broken[row] = '%';
    std::ofstream(grid, std::ios::trunc) << broken;
    EXPECT_NE(runGenerator(root + "assets", root + "out1", printed), 0);
    EXPECT_NE(printed.find("gfx/gfx.txt:"), std::string::npos) << printed;
    EXPECT_NE(printed.find("'%' is not in the palette"), std::string::npos) << printed;

    // A missing source file.
    std::ofstream(grid, std::ios::trunc) << text.str();
    fs::remove(root + "assets/music/groove.ini");
    EXPECT_NE(runGenerator(root + "assets", root + "out2", printed), 0);
    EXPECT_NE(printed.find("missing source"), std::string::npos) << printed;
    EXPECT_NE(printed.find("groove.ini"), std::string::npos) << printed;

    // A sound layer with an unknown wave.
    fs::copy_file(std::string(ZP_SOURCE_DIR) + "/assets/music/groove.ini",
                  root + "assets/music/groove.ini");
    std::ofstream(root + "assets/sounds/effects.txt", std::ios::app)
        << "sound 251/004.wav 0.1\nlayer hum\n";
    EXPECT_NE(runGenerator(root + "assets", root + "out3", printed), 0);
    EXPECT_NE(printed.find("unknown wave 'hum'"), std::string::npos) << printed;
    fs::remove_all(root);
}

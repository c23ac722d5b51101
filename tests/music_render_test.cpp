// music_render_test.cpp - the offline music renderer, run as the built tool
// over the generated asset pack.
#include "platform_helpers.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// Runs music-render with the given arguments; its exit status.
int render(const std::string& arguments) {
    std::string tool = std::string(ZP_BINARY_DIR) + "/music-render";
    if (!std::filesystem::exists(tool)) ADD_FAILURE() << "build the music-render target first";
    int status = std::system((tool + " " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs music-render and returns what it printed on its standard output.
std::string renderPrinting(const std::string& arguments) {
    std::string tool = std::string(ZP_BINARY_DIR) + "/music-render";
    std::string out;
    if (FILE* pipe = popen((tool + " " + arguments + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
        pclose(pipe);
    }
    return out;
}

// The largest sample size in a 16-bit WAV file's data.
int peak(const std::string& wav) {
    int most = 0;
    for (size_t i = 44; i + 1 < wav.size(); i += 2)
        most = std::max(most, std::abs(int(int16_t(uint8_t(wav[i]) | (uint8_t(wav[i + 1]) << 8)))));
    return most;
}

} // namespace

TEST(MusicRender, SameArgumentsSameBytesOtherSeedOtherSound) {
    std::string dir = MakeTempDir("music-render"), files = " --files " + BuiltFilesDir();
    ASSERT_EQ(render("groove 11 6 " + dir + "a.wav" + files), 0);
    ASSERT_EQ(render("groove 11 6 " + dir + "b.wav" + files), 0);
    ASSERT_EQ(render("groove 12 6 " + dir + "c.wav" + files), 0);
    std::string a = ReadAll(dir + "a.wav");
    EXPECT_EQ(a.size(), 44u + 6 * 44100 * 4);
    EXPECT_EQ(a, ReadAll(dir + "b.wav"));
    EXPECT_NE(a, ReadAll(dir + "c.wav"));
    // Master and music at 50 % still sound: their product is 0.25, not 0.
    EXPECT_GT(peak(a), 1000);
}

TEST(MusicRender, SeedMinusOneNamesTheSeedItUsed) {
    std::string dir = MakeTempDir("music-render"), files = " --files " + BuiltFilesDir();
    std::string said = renderPrinting("groove -1 2 " + dir + "a.wav" + files);
    size_t at = said.find(" seed ");
    ASSERT_NE(at, std::string::npos) << said;
    long seed = std::atol(said.c_str() + at + 6);
    EXPECT_GT(seed, 0) << said; // taken from the clock, not the virtual clock's 0
    // The named seed makes the same track again.
    ASSERT_EQ(render("groove " + std::to_string(seed) + " 2 " + dir + "b.wav" + files), 0);
    std::string a = ReadAll(dir + "a.wav");
    EXPECT_EQ(a.size(), 44u + 2 * 44100 * 4);
    EXPECT_EQ(a, ReadAll(dir + "b.wav"));
}

TEST(MusicRender, BadArgumentsAndMissingArrangementsFailClearly) {
    std::string dir = MakeTempDir("music-render"), files = " --files " + BuiltFilesDir();
    EXPECT_EQ(render("groove 1 abc " + dir + "x.wav" + files), 2);
    EXPECT_EQ(render("groove 1 5"), 2);
    EXPECT_EQ(render("groove 1 5 " + dir + "x.wav --bogus"), 2);
    EXPECT_EQ(render("nosuchtrack 1 5 " + dir + "x.wav" + files), 1);
    EXPECT_EQ(render("groove 1 5 " + dir + "x.wav --files " + dir + "nowhere"), 1);
    EXPECT_FALSE(std::filesystem::exists(dir + "x.wav"));
}

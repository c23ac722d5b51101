// readme_example_test.cpp - the input script README.md gives as its example,
// taken from the README as printed, must start a round and walk the figure
// to the top-left corner when the game plays it.
#include "app/app.h"
#include "game/game.h"
#include "platform/platform.h"
#include "shell/shell.h"
#include "support/fixture.h"
#include "support/run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The README's fenced block that holds the example script, "" when none does.
std::string readmeExample() {
    const std::string readme = ReadWholeFile(std::string(ZP_SOURCE_DIR) + "/README.md");
    const std::string fence = "```\n";
    for (size_t open = readme.find(fence); open != std::string::npos;) {
        size_t start = open + fence.size();
        size_t close = readme.find(fence, start);
        if (close == std::string::npos) break;
        std::string block = readme.substr(start, close - start);
        if (block.find(" press mouse1\n") != std::string::npos) return block;
        open = readme.find(fence, close + fence.size());
    }
    return "";
}

} // namespace

TEST(ReadmeExample, TheScriptStartsARoundAndWalksTheFigure) {
    const std::string script = readmeExample();
    ASSERT_NE(script.find("6000 press mouse1\n"), std::string::npos) << "no example in README.md";

    // The whole program on the doubles, with the built asset pack, plays the
    // script as printed. It has no end line, so the run stops ten virtual
    // minutes after its last event.
    std::string dir = MakeFilesCopy("readme");
    std::string scriptPath = MakeTempDir("readme-script") + "example.txt";
    ASSERT_TRUE(WriteWholeFile(scriptPath, script));
    PlatformConfig config;
    config.scriptPath = scriptPath;
    StartDoubles(config);
    shell.FilesDir = dir;
    int status = -1;
    try {
        RunProgram();
    } catch (const ProcessEnded& ended) {
        status = ended.status;
    }
    EXPECT_EQ(status, 3);

    // A round was played on Easy, and the figure walked up and left from the
    // centre where a round places it.
    ASSERT_FALSE(game.Players.empty()) << "no round was started";
    EXPECT_EQ(shell.GameMode, 0);
    const PlayerFigure& figure = game.Players.front();
    EXPECT_LT(figure.x, 640 - 200);
    EXPECT_LT(figure.y, 480 - 200);
}

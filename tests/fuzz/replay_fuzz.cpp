// replay_fuzz.cpp - throws arbitrary bytes at the replay reader, both as a
// whole file and as the packed frames behind a good header (so that the frame
// reader is reached past zlib's checksum). A replay that reads must pack and
// read again to the same frames, and its first frames must play.
#include "fuzz_support.h"
#include "game/game.h"
#include "game/replay.h"
#include "shell/display.h"
#include "shell/shell.h"

#include <cstdint>
#include <string>

namespace {

// Reads bytes; when they are a replay, checks the round trip and plays a little.
void check(const std::string& bytes) {
    Replay replay;
    std::string error;
    if (!DecodeReplay(bytes, replay, error)) {
        FUZZ_CHECK(!error.empty());
        return;
    }
    FUZZ_CHECK(!replay.frames.empty() && replay.gameMode >= 0 && replay.gameMode <= 2);
    Replay again;
    FUZZ_CHECK(DecodeReplay(EncodeReplay(replay), again, error));
    FUZZ_CHECK(again.frames.size() == replay.frames.size() && again.random == replay.random);
    for (size_t i = 0; i < replay.frames.size(); ++i) {
        const ReplayFrame &a = replay.frames[i], &b = again.frames[i];
        FUZZ_CHECK(a.input.mouseX == b.input.mouseX && a.input.mouseY == b.input.mouseY &&
                   a.input.left == b.input.left && a.quit == b.quit && a.setsSize == b.setsSize &&
                   (!a.setsSize || a.width == b.width));
    }
    if (replay.frames.size() > 300) replay.frames.resize(300);
    ReplayOutcome outcome = RunReplayHeadless(replay);
    FUZZ_CHECK(outcome.frames >= 1 && outcome.frames <= int(replay.frames.size()));
    FUZZ_CHECK(outcome.score >= 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartFuzzPlatform();
    if (!OpenDisplay(800, 600, 0, 60)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    check(bytes);
    // The same bytes as the frames of a replay with a good header.
    std::string file = std::string("ZPREPLAY") + char(ReplayFormatVersion) + '\0' +
                       char(std::string(GameVersion).size()) + GameVersion;
    for (int i = 0; i < 4; ++i) file += char((size >> (8 * i)) & 0xFF);
    check(file + CompressBytes(bytes));
    return 0;
}

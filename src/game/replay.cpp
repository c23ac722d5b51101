// replay.cpp - recording a round's input frame by frame, the packed replay
// file, and playing a replay back through the round's own step.
//
// The file: the 8 bytes "ZPREPLAY", the format version (2 bytes), the game
// version (1 length byte and its text), the unpacked length (4 bytes), then one
// zlib stream holding the game mode, the logical size, the generator's state
// and the frames. Each frame is a flag byte (left, right, notice key, quit,
// pointer moved, generator set, size set) followed by what the flags announce:
// the pointer's move as two zig-zag varints, 8 bytes of generator state, two
// 2-byte sizes. Numbers are little-endian.
#include "game/replay.h"

#include "platform/platform.h"
#include "scores/scores.h"
#include "shell/display.h"
#include "shell/frame.h"
#include "shell/shell.h"

#include <cstdio>

namespace {

const char Magic[8] = {'Z', 'P', 'R', 'E', 'P', 'L', 'A', 'Y'};
constexpr int64_t MaxPointer = 1000000; // beyond any screen
// The most one frame takes: its flags, two pointer steps (within 4 * MaxPointer
// after zig-zag, 4 bytes each), the generator's state and a logical size.
constexpr size_t MaxFrameBytes = 1 + 2 * 4 + 8 + 4;
// The round's header with the largest frame count's varint, then the frames.
constexpr size_t MaxUnpacked = 1 + 2 + 2 + 8 + 3 + MaxReplayFrames * MaxFrameBytes;
constexpr size_t MaxFileBytes = MaxUnpacked + (1u << 20);

enum FrameFlag : uint8_t {
    FlagLeft = 1,
    FlagRight = 2,
    FlagNotice = 4,
    FlagQuit = 8,
    FlagMoved = 16,
    FlagRandom = 32,
    FlagSize = 64,
};

struct RecorderState {
    bool recording = false; // a live round is being recorded
    bool playingBack = false;
    Replay replay;
    uint64_t lastRandom = 0; // the generator after the round's own draws
    int lastWidth = 0, lastHeight = 0;
    FILE* checksums = nullptr;
    int checksumFrame = 0;
};

RecorderState recorder;

// Byte writer for the body.
struct Writer {
    std::string out;
    void byte(unsigned v) { out += static_cast<char>(v & 0xFF); }
    void fixed(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; i++) byte(unsigned(v >> (8 * i)));
    }
    void varint(uint64_t v) {
        while (v >= 0x80) {
            byte(unsigned(v) | 0x80);
            v >>= 7;
        }
        byte(unsigned(v));
    }
    void signedVarint(int64_t v) { varint((uint64_t(v) << 1) ^ uint64_t(v >> 63)); }
};

// Byte reader that stops (ok = false) at the first read past the end.
struct Reader {
    const std::string& in;
    size_t pos = 0;
    bool ok = true;
    unsigned byte() {
        if (pos >= in.size()) {
            ok = false;
            return 0;
        }
        return static_cast<unsigned char>(in[pos++]);
    }
    uint64_t fixed(int bytes) {
        uint64_t v = 0;
        for (int i = 0; i < bytes; i++) v |= uint64_t(byte()) << (8 * i);
        return v;
    }
    uint64_t varint() {
        uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            unsigned b = byte();
            v |= uint64_t(b & 0x7F) << shift;
            if (!(b & 0x80)) return v;
        }
        ok = false; // more than ten bytes: no number of ours
        return 0;
    }
    int64_t signedVarint() {
        uint64_t v = varint();
        return int64_t(v >> 1) ^ -int64_t(v & 1);
    }
};

// A logical size a replay may carry.
bool plausibleSize(int64_t w, int64_t h) {
    return w >= 1 && w <= 16384 && h >= 1 && h <= 16384;
}

// Appends one line to the checksum log, when one is open.
void logChecksum(const std::string& line) {
    if (!recorder.checksums) return;
    std::fprintf(recorder.checksums, "%s\n", line.c_str());
    std::fflush(recorder.checksums);
}

// The frame's checksum line after its play.
void logFrameChecksum() {
    if (!recorder.checksums) return;
    char line[64];
    std::snprintf(line, sizeof line, "%d %016llx", ++recorder.checksumFrame,
                  static_cast<unsigned long long>(RoundChecksum()));
    logChecksum(line);
}

} // namespace

// Packs a replay into its file bytes.
std::string EncodeReplay(const Replay& replay) {
    Writer body;
    body.byte(unsigned(replay.gameMode));
    body.fixed(uint64_t(replay.width), 2);
    body.fixed(uint64_t(replay.height), 2);
    body.fixed(replay.random, 8);
    body.varint(replay.frames.size());
    int64_t x = 0, y = 0;
    for (const ReplayFrame& f : replay.frames) {
        bool moved = f.input.mouseX != x || f.input.mouseY != y;
        unsigned flags = (f.input.left ? FlagLeft : 0) | (f.input.right ? FlagRight : 0) |
                         (f.input.noticeKey ? FlagNotice : 0) | (f.quit ? FlagQuit : 0) |
                         (moved ? FlagMoved : 0) | (f.setsRandom ? FlagRandom : 0) |
                         (f.setsSize ? FlagSize : 0);
        body.byte(flags);
        if (moved) {
            body.signedVarint(f.input.mouseX - x);
            body.signedVarint(f.input.mouseY - y);
            x = f.input.mouseX;
            y = f.input.mouseY;
        }
        if (f.setsRandom) body.fixed(f.random, 8);
        if (f.setsSize) {
            body.fixed(uint64_t(f.width), 2);
            body.fixed(uint64_t(f.height), 2);
        }
    }
    Writer file;
    file.out.assign(Magic, sizeof Magic);
    file.fixed(uint64_t(replay.formatVersion), 2);
    std::string version = replay.gameVersion.substr(0, 255);
    file.byte(unsigned(version.size()));
    file.out += version;
    file.fixed(body.out.size(), 4);
    const std::string packed = CompressBytes(body.out);
    return packed.empty() ? std::string() : file.out + packed;
}

namespace {

// The game version as it may be shown: anything but printable ASCII becomes
// "?", so a damaged file cannot send control characters to a terminal.
std::string printable(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c < 32 || c > 126) c = '?';
    return out;
}

// The file's header up to the packed body: the magic, format and game
// version and the unpacked length, which must be one a round can have.
bool readFileHeader(const std::string& bytes, Replay& replay, Reader& head, size_t& unpacked,
                    std::string& error) {
    const std::string cut = "truncated replay (cut short in its header)";
    if (bytes.size() < sizeof Magic || bytes.compare(0, sizeof Magic, Magic, sizeof Magic) != 0) {
        error = "not a replay file";
        return false;
    }
    head.pos = sizeof Magic;
    int format = int(head.fixed(2));
    if (!head.ok) {
        error = cut;
        return false;
    }
    if (format != ReplayFormatVersion) {
        error = "replay format version " + std::to_string(format) +
                " is not the one this program reads (" + std::to_string(ReplayFormatVersion) + ")";
        return false;
    }
    size_t length = head.byte();
    if (!head.ok || head.pos + length > bytes.size()) {
        error = cut;
        return false;
    }
    replay.gameVersion = bytes.substr(head.pos, length);
    head.pos += length;
    if (replay.gameVersion != GameVersion) {
        error = "replay of " + TitleText() + " version \"" + printable(replay.gameVersion) +
                "\", but this is version " + GameVersion;
        return false;
    }
    unpacked = size_t(head.fixed(4));
    if (!head.ok) {
        error = cut;
        return false;
    }
    if (unpacked > MaxUnpacked) {
        error = "corrupt replay (claims " + std::to_string(unpacked) +
                " bytes of frames, more than a round can have)";
        return false;
    }
    return true;
}

// The round's start: mode, logical size, generator and the frame count, which
// the body must have room for and a round can reach.
bool readRoundHeader(Reader& in, Replay& replay, uint64_t& count, std::string& error) {
    replay.gameMode = int(in.byte());
    replay.width = int(in.fixed(2));
    replay.height = int(in.fixed(2));
    replay.random = in.fixed(8);
    count = in.varint();
    if (!in.ok || replay.gameMode > 2 || !plausibleSize(replay.width, replay.height) ||
        count == 0) {
        error = "corrupt replay (bad round header)";
        return false;
    }
    // Each frame takes at least its flag byte.
    const bool beyondBody = count > in.in.size() - in.pos;
    if (beyondBody || count > MaxReplayFrames) {
        error = "corrupt replay (claims " + std::to_string(count) + " frames, more than " +
                (beyondBody ? "it holds)" : "a round can have)");
        return false;
    }
    return true;
}

// One frame after the pointer (x, y) of the frame before; false when damaged.
bool readFrame(Reader& in, ReplayFrame& f, int64_t& x, int64_t& y, bool last) {
    unsigned flags = in.byte();
    if (flags & 0x80) in.ok = false;
    f.input.left = flags & FlagLeft;
    f.input.right = flags & FlagRight;
    f.input.noticeKey = flags & FlagNotice;
    f.quit = flags & FlagQuit;
    if (flags & FlagMoved) {
        // A step is checked before it is added, so no damaged one can overflow.
        int64_t dx = in.signedVarint(), dy = in.signedVarint();
        if (dx < -2 * MaxPointer || dx > 2 * MaxPointer || dy < -2 * MaxPointer ||
            dy > 2 * MaxPointer)
            return false;
        x += dx;
        y += dy;
        if (x < -MaxPointer || x > MaxPointer || y < -MaxPointer || y > MaxPointer) return false;
    }
    f.input.mouseX = int(x);
    f.input.mouseY = int(y);
    if (flags & FlagRandom) {
        f.setsRandom = true;
        f.random = in.fixed(8);
    }
    if (flags & FlagSize) {
        f.setsSize = true;
        f.width = int(in.fixed(2));
        f.height = int(in.fixed(2));
        if (!plausibleSize(f.width, f.height)) return false;
    }
    // Only the last frame may end the round through "Quit".
    return in.ok && (!f.quit || last);
}

} // namespace

// Reads replay file bytes; refuses other kinds of file, other format or game
// versions, cut or damaged replays and more than a round can be, saying which.
// Nothing is allocated for the frames before their count is known to fit.
bool DecodeReplay(const std::string& bytes, Replay& replay, std::string& error,
                  uint64_t maxFrames) {
    replay = Replay{};
    Reader head{bytes};
    size_t unpacked = 0;
    if (!readFileHeader(bytes, replay, head, unpacked, error)) return false;
    std::string body;
    if (!DecompressBytes(bytes.substr(head.pos), unpacked, body)) {
        error = (PlatformError().find("cut short") != std::string::npos ? "truncated replay ("
                                                                        : "corrupt replay (") +
                PlatformError() + ")";
        return false;
    }
    Reader in{body};
    uint64_t count = 0;
    if (!readRoundHeader(in, replay, count, error)) return false;
    if (count > maxFrames) {
        error = std::string(ReplayTooLong) + " " + std::to_string(maxFrames) + " frames";
        return false;
    }
    replay.frames.resize(size_t(count));
    int64_t x = 0, y = 0;
    for (size_t i = 0; i < replay.frames.size(); i++) {
        if (!readFrame(in, replay.frames[i], x, y, i + 1 == replay.frames.size())) {
            error = "corrupt replay (frame " + std::to_string(i + 1) + " of " +
                    std::to_string(count) + " is damaged)";
            return false;
        }
    }
    if (in.pos != body.size()) {
        error = "corrupt replay (bytes after the last frame)";
        return false;
    }
    return true;
}

// Reads and decodes a replay file.
bool LoadReplay(const std::string& path, Replay& replay, std::string& error) {
    std::string bytes;
    if (!ReadFileBytes(path, bytes, MaxFileBytes)) {
        error = PlatformError();
        return false;
    }
    if (!DecodeReplay(bytes, replay, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

// A live round starts: notes the generator's state before its first draw.
void RecordRoundStart(uint64_t startState) {
    if (recorder.playingBack) return;
    recorder.recording = true;
    recorder.replay = Replay{};
    recorder.replay.gameVersion = GameVersion;
    recorder.replay.gameMode = shell.GameMode;
    recorder.replay.width = display.VirtualWidth;
    recorder.replay.height = display.VirtualHeight;
    recorder.replay.random = startState;
    recorder.lastRandom = RandomStateNow();
    recorder.lastWidth = display.VirtualWidth;
    recorder.lastHeight = display.VirtualHeight;
    recorder.checksumFrame = 0;
    logChecksum("round");
}

// Notes one frame's input, and whatever moved the generator or the logical
// size since the round's own play of the last frame (the pause menu's
// reseeding, the engine test of a re-applied display, the music arranger).
void RecordRoundFrame(const RoundInput& input) {
    if (!recorder.recording) return;
    if (recorder.replay.frames.size() >= MaxReplayFrames) {
        // Longer than any replay is read back: the round goes unrecorded.
        LogLine("\tThe round is too long for a replay; it is not recorded");
        recorder.recording = false;
        recorder.replay.frames.clear();
        return;
    }
    ReplayFrame f;
    f.input = input;
    uint64_t now = RandomStateNow();
    if (now != recorder.lastRandom) {
        f.setsRandom = true;
        f.random = now;
    }
    if (display.VirtualWidth != recorder.lastWidth ||
        display.VirtualHeight != recorder.lastHeight) {
        f.setsSize = true;
        f.width = recorder.lastWidth = display.VirtualWidth;
        f.height = recorder.lastHeight = display.VirtualHeight;
    }
    recorder.replay.frames.push_back(f);
}

// The frame's play is done: the generator now stands where the round left it.
void RecordRoundStepped() {
    if (!recorder.recording) return;
    recorder.lastRandom = RandomStateNow();
    logFrameChecksum();
}

// The pause menu's "Quit" ended the round after the current frame.
void RecordRoundQuit() {
    if (recorder.recording && !recorder.replay.frames.empty())
        recorder.replay.frames.back().quit = true;
}

const Replay& RecordedReplay() {
    return recorder.replay;
}

// Saves the recorded round under the record's replay name.
bool SaveRoundReplay(Scores& record) {
    if (!recorder.recording || recorder.replay.frames.empty()) return false;
    recorder.recording = false;
    const std::string bytes = EncodeReplay(recorder.replay);
    if (bytes.empty()) {
        LogLine("\tCould not pack the replay of the round");
        PostNotice("Could not save the replay", 1);
        return false;
    }
    return StoreReplay(record, bytes);
}

// Starts the checksum log (one line per round frame, live or replayed).
bool OpenChecksumLog(const std::string& path) {
    CloseChecksumLog();
    recorder.checksums = std::fopen(path.c_str(), "wb");
    return recorder.checksums != nullptr;
}

void ResetReplayState() {
    CloseChecksumLog();
    recorder = RecorderState{};
}

void CloseChecksumLog() {
    if (recorder.checksums) std::fclose(recorder.checksums);
    recorder.checksums = nullptr;
}

// Makes the logical size the round's and the drawing's.
void SetRoundSize(int width, int height) {
    display.VirtualWidth = width;
    display.VirtualHeight = height;
    SetLogicalSize(width, height);
}

// The replayed round's start: its mode, size and generator, the empty field.
void BeginReplayRound(const Replay& replay) {
    recorder.playingBack = true;
    recorder.recording = false;
    shell.GameMode = replay.gameMode;
    SetRoundSize(replay.width, replay.height);
    SetRandomState(replay.random);
    BeginRound();
    recorder.checksumFrame = 0;
    logChecksum("round");
}

// Plays frame i from its recorded input; returns game.Over afterwards.
int StepReplayRound(const Replay& replay, size_t i) {
    const ReplayFrame& f = replay.frames[i];
    if (f.setsSize) SetRoundSize(f.width, f.height);
    if (f.setsRandom) SetRandomState(f.random);
    game.Input = f.input;
    RoundStep();
    logFrameChecksum();
    if (f.quit) game.Over = RoundQuit;
    return game.Over;
}

void EndReplayRound() {
    recorder.playingBack = false;
}

// Plays every frame without pacing or presenting.
ReplayOutcome RunReplayHeadless(const Replay& replay) {
    ReplayOutcome outcome;
    BeginReplayRound(replay);
    for (size_t i = 0; i < replay.frames.size(); i++) {
        outcome.frames = int(i) + 1;
        if (StepReplayRound(replay, i) != 0) break;
    }
    outcome.score = game.RoundScore;
    outcome.ended = game.Over != 0;
    outcome.endedInTime = outcome.ended && size_t(outcome.frames) == replay.frames.size();
    EndReplayRound();
    return outcome;
}

// The round either ended before its last recorded frame or never ended.
std::string ReplayDivergence(const ReplayOutcome& outcome, size_t recordedFrames) {
    const std::string frames = std::to_string(recordedFrames);
    const std::string what =
        outcome.ended ? "the replay's round ended at frame " + std::to_string(outcome.frames) +
                            ", but " + frames + " frames were recorded"
                      : "the replay's round had not ended after all " + frames + " recorded frames";
    return what + ": it does not play out as it was played";
}

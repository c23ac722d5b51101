// music.cpp - the procedural music: stem loading, the arrangement reader, the
// arranger that lays out 64 steps at a time from seeded random picks, and the
// step player ticked once per frame.
#include "music/music.h"

#include "platform/platform.h"
#include "shell/shell.h"

#include <cstdint>
#include <vector>

MusicState music;

namespace {

const int StepsPerBar = 64;
const int VoiceCount = 5;

// Section headers in section order.
const char* const SectionHeaders[5] = {"[DRUMS", "[CHORDS", "[BASS", "[MELODY", "[ACCOMPANY"};

// Stem file names before the number, by family (drums 1, drums 2, bass, lead, accompany).
const char* const StemPrefixes[5] = {"music/d1-", "music/d2-", "music/bass", "music/lead",
                                     "music/accompany"};

// Salts of the pattern picks: drums 1, drums 2, bass, melody, accompany.
const int VoiceSalts[5] = {3, 7, 13, 19, 29};
const int ChordSalt = 13;

// The section each voice picks its pattern from.
const int VoiceSections[5] = {SectionDrums, SectionDrums, SectionBass, SectionMelody,
                              SectionAccompany};

// Note keys in semitone order with their playback rates.
const char NoteKeys[] = "zsxdcvgbhnjmq2w3er5t6y7ui9o0p[=]";
const float NoteRates[] = {0.0f,    0.5295f, 0.561f, 0.5945f, 0.63f,  0.6675f, 0.707f, 0.749f,
                           0.7935f, 0.841f,  0.891f, 0.944f,  1.0f,   1.059f,  1.122f, 1.189f,
                           1.26f,   1.335f,  1.414f, 1.498f,  1.587f, 1.682f,  1.782f, 1.888f,
                           2.0f,    2.118f,  2.244f, 2.378f,  2.52f,  2.67f,   2.828f, 2.996f};
static_assert(sizeof(NoteRates) / sizeof(NoteRates[0]) == sizeof(NoteKeys) - 1);

// Upper-cases ASCII letters, leaving every other byte alone.
std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return text;
}

// Drops bytes below 33 (blanks and control codes) from both ends.
std::string trimmed(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) < 33) first++;
    while (last > first && static_cast<unsigned char>(text[last - 1]) < 33) last--;
    return text.substr(first, last - first);
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The one-character text at a 1-based position, empty outside the text.
std::string charAt(const std::string& text, int position) {
    if (position < 1 || position > int(text.size())) return "";
    return text.substr(size_t(position - 1), 1);
}

// The stretch mode a STRETCH line sets, or keep when it names none.
int stretchFrom(const std::string& line, int keep) {
    std::string u = upper(line);
    if (endsWith(u, "FALSE")) return 0;
    if (endsWith(u, "RANDOM+")) return 2;
    if (endsWith(u, "RANDOM")) return 1;
    if (endsWith(u, "DOUBLE")) return -2;
    return keep;
}

// Files one arrangement line into the sections; section is the current one (-1 none).
void readLine(const std::string& raw, int& section) {
    std::string line = trimmed(raw);
    if (line.empty()) return;
    if (line[0] == '[') {
        std::string header;
        for (char c : upper(line))
            if (c != ']') header += c;
        for (int s = 0; s < 5; s++)
            if (header == SectionHeaders[s]) section = s;
        return;
    }
    if (section < 0) return;
    if (line.size() >= 7 && upper(line.substr(0, 7)) == "STRETCH") {
        music.StretchMode[section] = stretchFrom(line, music.StretchMode[section]);
    } else if (line[0] == '"') {
        // Lines past the limit are not counted either, so a pick can never
        // reach a slot that was not stored.
        if (music.PatternCount[section] >= MaxPatternLines) return;
        std::string text;
        for (char c : line)
            if (c != '"') text += c;
        music.PatternLines[section][++music.PatternCount[section]] = text;
    }
}

// Seeds the generator for one of the arranger's draws.
void seedFor(int salt) {
    SeedRandom(int64_t(music.MusicSeed) * 1024 + music.PhraseIndex + music.ArrangeCount + salt);
}

// Each character followed by a space: the pattern at half speed.
std::string stretched(const std::string& text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text) {
        out += c;
        out += ' ';
    }
    return out;
}

// A seeded random pattern line of a section, stretched by its mode when asked.
std::string pickPattern(int section, int salt, bool stretch) {
    seedFor(salt);
    for (int i = 0; i < salt + 4 * music.ArrangeCount; i++) RandomInt(0, 1000);
    int count = music.PatternCount[section];
    if (count < 1) return ""; // a section without lines leaves the voice resting
    std::string text = music.PatternLines[section][RandomInt(1, count)];
    int coin = RandomInt(0, 2);
    if (!stretch) return text;
    int mode = music.StretchMode[section];
    if ((mode > 0 && coin > 0) || mode < 0) text = stretched(text);
    if ((mode == 2 && coin == 2) || mode == -2) text = stretched(text);
    return text;
}

// Starts a phrase: stems, chords, which voices play, and their patterns.
void startPhrase() {
    for (int i = 1; i <= 3; i++)
        music.StemChoice[i] = music.StemCount[i] > 0 ? RandomInt(1, music.StemCount[i]) : 0;
    music.PhraseIndex = 1;
    music.ChordText = pickPattern(SectionChords, ChordSalt, false);
    for (int v = 0; v < 20; v++) {
        music.VoiceMuted[v] = music.VoiceCoin[v];
        music.VoiceCoin[v] = RandomInt(0, 1);
        music.VoiceFill[v] = RandomInt(1, 2);
    }
    if (music.VoiceMuted[0] && music.VoiceMuted[1]) music.VoiceMuted[RandomInt(0, 1)] = 0;
    if (music.VoiceMuted[2] && music.VoiceMuted[3]) music.VoiceMuted[RandomInt(2, 3)] = 0;
    for (int v = 0; v < VoiceCount; v++)
        music.VoicePattern[v] = pickPattern(VoiceSections[v], VoiceSalts[v], true);
}

// Lays the voice patterns onto the grid for the coming 64 steps.
void fillGrid() {
    for (int v = 0; v < VoiceCount; v++) {
        const std::string& pattern = music.VoicePattern[v];
        int length = int(pattern.size());
        for (int k = 0; k < StepsPerBar; k++) {
            float value = 0.0f;
            if (length > 0 && v < 2) {
                char c = pattern[size_t(k % length)];
                value = (c >= '0' && c <= '9') ? float(c - '0') : 0.0f;
            } else if (length > 0) {
                int64_t at = (int64_t(k) + int64_t(StepsPerBar) * (music.PhraseIndex - 1)) % length;
                value = NoteRate(pattern.substr(size_t(at), 1));
            }
            music.MusicGrid[v][k] = value;
        }
    }
}

// Starts a stem on a fresh channel for a voice, replacing what it played. An
// empty stem slot sounds nothing but still ends the voice's old note.
void soundVoice(int voice, int stem, float rate) {
    // The old channel is freed whether or not it still plays, so channels
    // never pile up over a long track.
    Stop(music.MusicChannel[voice]);
    music.MusicChannel[voice] = 0;
    int sound = stem >= 1 && stem <= 8 ? music.MusicStems[stem + 10 * voice] : 0;
    // A rate of 0 is no note: nothing starts, not even at the lowest pitch.
    if (!sound || (voice >= 2 && rate <= 0.0f)) return;
    int channel = AllocChannel();
    if (!channel) return;
    music.MusicChannel[voice] = channel;
    CueSound(sound, channel);
    if (voice == 0 || voice == 4) SetPan(channel, music.MusicSpread);
    if (voice == 1 || voice == 2) SetPan(channel, -music.MusicSpread);
    SetVolume(channel, float(shell.Settings[slot::MasterVolume] *
                             double(shell.Settings[slot::MusicVolume]) / 100.0 / 100.0));
    if (voice >= 2) SetRate(channel, rate);
    SetPaused(channel, false);
}

// Plays the grid at the current step.
void playStep() {
    int phrase = music.PhraseIndex - 1;
    float chordRate = NoteRate(charAt(music.ChordText, music.StepIndex / 16 + 4 * phrase + 1));
    int length = int(music.ChordText.size());
    int p8 = music.StepIndex / 8 + 8 * phrase;
    int p16 = music.StepIndex / 16 + 4 * phrase;
    int endState = p8 >= 2 * length - 1 ? 2 : (p16 >= length - 1 ? 1 : 0);
    for (int v = 0; v < VoiceCount; v++) {
        bool plays = !music.VoiceMuted[v];
        // A voice coming in with the next phrase leads in 16 or 8 steps early.
        if (!plays && music.VoiceCoin[v] == 0)
            plays = (endState == 1 && music.VoiceFill[v] == 1) || endState == 2;
        if (!plays) continue;
        float value = music.MusicGrid[v][music.StepIndex];
        if (v < 2) {
            if (value >= 1 && value <= 8) soundVoice(v, int(value), 1.0f);
        } else if (value != 0.0f) {
            // A chord position without a note key gives rate 0: the old note
            // ends and no new one sounds.
            soundVoice(v, music.StemChoice[v - 1], value * chordRate);
        }
    }
}

} // namespace

// Loads the drum, bass, lead and accompaniment stems, freeing any loaded before.
void LoadMusicStems() {
    for (int& sound : music.MusicStems) {
        FreeSound(sound);
        sound = 0;
    }
    for (int& count : music.StemCount) count = 0;
    for (int n = 1; n <= 8; n++) {
        std::string number = std::to_string(n);
        music.MusicStems[n] = LoadSound(StemPrefixes[0] + number + ".wav");
        music.MusicStems[n + 10] = LoadSound(StemPrefixes[1] + number + ".wav");
        for (int family = 2; family <= 4; family++) {
            std::string path = StemPrefixes[family] + number + ".wav";
            if (!FileExists(path)) continue;
            music.StemCount[family - 1] = n;
            music.MusicStems[n + 10 * family] = LoadSound(path);
        }
    }
}

// Reads the arrangement "music/<name>.ini" and starts playing it; a missing file starts nothing.
void StartMusic(const std::string& name, int seed, int beatLength) {
    for (int s = 0; s < 5; s++) {
        music.PatternCount[s] = 0;
        music.StretchMode[s] = -1;
    }
    std::string path = "music/" + name + ".ini";
    std::vector<std::string> lines;
    if (!FileExists(path) || !ReadTextLines(path, lines)) return;
    int section = -1;
    for (const std::string& line : lines) readLine(line, section);

    SeedRandom(int64_t(seed) * 1024);
    if (seed == -1) {
        seed = Millis();
        SeedRandom(int64_t(seed) * 1024);
    }
    music.MusicSeed = seed;
    music.MusicSpread = 0.3f;
    music.ChordText.clear();
    music.StepIndex = -1;
    music.PhraseIndex = -1;
    music.ArrangeCount = -1;
    music.StepLength = beatLength / 2;
    music.NextStepTime = Millis();
    for (int& coin : music.VoiceCoin) coin = RandomInt(0, 1);
    Arrange();
    music.NextStepTime = Millis() + 250;
    music.MusicPlaying = 1;
}

// Stops the music and frees every voice's channel.
void StopMusic() {
    music.MusicPlaying = 0;
    for (int& channel : music.MusicChannel) {
        Stop(channel);
        channel = 0;
    }
}

// Sets how far the voices are spread across the stereo field.
void SetMusicSpread(float value) {
    music.MusicSpread = value;
}

// The playback rate of the first character's note key; 0.0 (no note) for anything else.
float NoteRate(const std::string& text) {
    if (text.empty()) return 0.0f;
    char c = text[0];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    for (int i = 0; NoteKeys[i]; i++)
        if (NoteKeys[i] == c) return NoteRates[i];
    return 0.0f;
}

// Advances the music by one step when its time has come (one step per call,
// so a stalled program catches up over the following frames).
void MusicTick() {
    if (music.MusicPlaying != 1 || Millis() < music.NextStepTime) return;
    music.NextStepTime += music.StepLength;
    music.StepIndex++;
    if (music.StepIndex >= StepsPerBar) {
        music.StepIndex = 0;
        Arrange();
    }
    playStep();
}

// Lays out the next 64 steps, starting a new phrase when the chords have run out.
void Arrange() {
    seedFor(0);
    music.ArrangeCount++;
    music.PhraseIndex++;
    if (music.ChordText.empty() || int(music.ChordText.size()) / 4 < music.PhraseIndex)
        startPhrase();
    fillGrid();
}

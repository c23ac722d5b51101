// music.h - the procedural music: stems, arrangement files, the arranger and
// the step player ticked once per frame.
#pragma once

#include <string>

struct MusicState {
    int MusicStems[50] = {};
    int StemCount[4] = {}; // 1 bass, 2 lead, 3 accompany
    int PatternCount[5] = {};
    std::string PatternLines[5][1000]; // [section][1..998]
    int StretchMode[5] = {-1, -1, -1, -1, -1};
    int MusicSeed = 0;
    int MusicPlaying = 0;
    int StepLength = 0;
    int NextStepTime = 0;
    int StepIndex = -1;
    int VoiceCoin[20] = {};
    int VoiceMuted[20] = {};
    int VoiceFill[20] = {};
    float MusicSpread = 0.3f;
    int MusicChannel[20] = {};
    float MusicGrid[5][70] = {};
    int PhraseIndex = -1;
    int ArrangeCount = -1;
    std::string ChordText;
    int StemChoice[4] = {};
    std::string VoicePattern[5]; // drums 1, drums 2, bass, melody, accompany
};
extern MusicState music;

// Pattern lines kept per section; lines past this are dropped.
inline constexpr int MaxPatternLines = 998;

enum MusicSection { SectionDrums = 0, SectionChords, SectionBass, SectionMelody, SectionAccompany };

void LoadMusicStems();
void StartMusic(const std::string& name, int seed, int beatLength);
void StopMusic();
void SetMusicSpread(float value);
float NoteRate(const std::string& text);
void MusicTick();
void Arrange(); // lay out the next 64 steps

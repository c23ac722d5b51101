// music_arranger_test.cpp - the arranger's seeded picks, mutes and lead-ins,
// and the step player's timing, on the virtual clock and silent sound.
#include "music/music.h"
#include "platform/recording.h"
#include "platform_helpers.h"
#include "shell/shell.h"
#include "support/fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

namespace {

// Several lines per section, so different seeds pick differently; drum
// stems 5-8 are left out of the folder and must simply not sound.
const char* const Groove = "[DRUMS]\n\"1 3 2 3 \"\n\"1  2 11 \"\n\"4444\"\n\"1 8 5 8 1 \"\n"
                           "\"12\"\n\"7 6 \"\n"
                           "[CHORDS]\n\"qrtqnrqt\"\n\"nnrrqqtt\"\n\"rtnnrtqq\"\n"
                           "[BASS]\nSTRETCH=RANDOM+\n\"q q t \"\n\"qi  \"\n\"q  w  r \"\n"
                           "[MELODY]\nSTRETCH=DOUBLE\n\"iotw\"\n\"t t i \"\n\"q w r \"\n"
                           "[ACCOMPANY]\nSTRETCH=FALSE\n\"q   \"\n\"  q \"\n\"qq q\"\n";

// Every voice sounds at every step it is let, over phrases of 128 steps.
const char* const Steady = "[DRUMS]\nSTRETCH=FALSE\n\"1111\"\n[CHORDS]\n\"qqqqqqqq\"\n"
                           "[BASS]\nSTRETCH=FALSE\n\"q\"\n[MELODY]\nSTRETCH=FALSE\n\"q\"\n"
                           "[ACCOMPANY]\nSTRETCH=FALSE\n\"q\"\n";

// A game folder with every stem (leads only when asked) and one arrangement, made current.
void enterGameFolder(const std::string& arrangement, bool leads = true) {
    std::string dir = MakeTempDir("music-arranger");
    std::filesystem::create_directory(dir + "music");
    std::string tone = WriteTone(22050, 22050); // longer than a step: voices overlap
    for (int n = 1; n <= 4; n++)
        for (std::string family : {"d1-", "d2-", "bass", "lead", "accompany"})
            if (leads || family != "lead")
                std::filesystem::copy_file(tone,
                                           dir + "music/" + family + std::to_string(n) + ".wav");
    std::ofstream(dir + "music/test.ini", std::ios::binary) << arrangement;
    ChangeDir(dir);
    shell.Settings[slot::MasterVolume] = 50;
    shell.Settings[slot::MusicVolume] = 50;
    LoadMusicStems();
}

struct Note {
    int step, voice, stem;
    float rate;
    bool operator==(const Note&) const = default;
};

// The stem number of a voice's family that a sound was loaded as, 0 for none.
int stemOf(int voice, int sound) {
    for (int n = 1; n <= 8; n++)
        if (sound != 0 && music.MusicStems[n + 10 * voice] == sound) return n;
    return 0;
}

// Ticks until the next step; every voice that started a note on a new channel.
std::vector<Note> nextStep(int step) {
    int before[5];
    for (int v = 0; v < 5; v++) before[v] = music.MusicChannel[v];
    for (int index = music.StepIndex; music.StepIndex == index;) {
        SleepMillis(1);
        MusicTick();
    }
    std::vector<Note> notes;
    for (int v = 0; v < 5; v++) {
        int channel = music.MusicChannel[v];
        if (channel != 0 && channel != before[v])
            notes.push_back({step, v, stemOf(v, ChannelSound(channel)), ChannelRate(channel)});
    }
    return notes;
}

// Plays a track for a number of steps on the virtual clock; every note sounded.
std::vector<Note> play(int seed, int steps) {
    StartMusic("test", seed, 500);
    std::vector<Note> notes;
    for (int step = 0; step < steps; step++) {
        std::vector<Note> sounded = nextStep(step);
        notes.insert(notes.end(), sounded.begin(), sounded.end());
    }
    return notes;
}

// The voice coins a start draws right after seeding with the given value.
std::vector<int> coinsAfterSeeding(int64_t seed) {
    SeedRandom(seed);
    std::vector<int> coins;
    for (int i = 0; i < 20; i++) coins.push_back(RandomInt(0, 1));
    return coins;
}

} // namespace

TEST(MusicArranger, SameSeedSameNotesAndOtherSeedsOtherNotes) {
    StartDoubles();
    enterGameFolder(Groove);
    std::vector<Note> first = play(7, 400);
    EXPECT_GT(first.size(), 200u);
    for (const Note& n : first) EXPECT_TRUE(n.voice >= 2 || n.stem <= 4) << n.stem;
    EXPECT_EQ(play(7, 400), first);
    EXPECT_NE(play(8, 400), first);
}

TEST(MusicArranger, SeedsWithTheSeedTimes1024OrTheClock) {
    StartDoubles();
    enterGameFolder(Groove);
    std::vector<int> coins = coinsAfterSeeding(5120);
    StartMusic("test", 5, 500);
    EXPECT_EQ(music.MusicSeed, 5);
    // The coins drawn at the start become the first phrase's mutes (voices 5-19 untouched by the
    // rules).
    for (int v = 5; v < 20; v++) EXPECT_EQ(music.VoiceMuted[v], coins[size_t(v)]) << v;

    SleepMillis(1234);
    int now = Millis();
    coins = coinsAfterSeeding(int64_t(now) * 1024);
    StartMusic("test", -1, 500);
    EXPECT_EQ(music.MusicSeed, now);
    for (int v = 5; v < 20; v++) EXPECT_EQ(music.VoiceMuted[v], coins[size_t(v)]) << v;
}

TEST(MusicArranger, StretchModesAcrossManySeeds) {
    StartDoubles();
    enterGameFolder(Groove);
    std::set<int> bassStretches;
    for (int seed = 1; seed <= 40; seed++) {
        StartMusic("test", seed, 500);
        // How often the picked text was stretched from one of the section's lines, -1 never.
        auto stretches = [](int section, const std::string& text) {
            for (int i = 1; i <= music.PatternCount[section]; i++)
                for (int times = 0, size = 1; times <= 2; times++, size *= 2) {
                    std::string line;
                    for (char c : music.PatternLines[section][i])
                        line += c + std::string(size - 1, ' ');
                    if (line == text) return times;
                }
            return -1;
        };
        EXPECT_EQ(stretches(SectionDrums, music.VoicePattern[0]), 1) << seed; // no STRETCH line
        EXPECT_EQ(stretches(SectionDrums, music.VoicePattern[1]), 1) << seed;
        EXPECT_EQ(stretches(SectionAccompany, music.VoicePattern[4]), 0) << seed; // FALSE
        EXPECT_EQ(stretches(SectionMelody, music.VoicePattern[3]), 2) << seed;    // DOUBLE
        EXPECT_EQ(stretches(SectionChords, music.ChordText), 0) << seed;
        bassStretches.insert(stretches(SectionBass, music.VoicePattern[2]));
    }
    EXPECT_EQ(bassStretches, (std::set<int>{0, 1, 2})); // RANDOM+
}

// Also: when both drums would be muted exactly one plays, and bass or melody always does.
TEST(MusicArranger, MutesRulesAndLeadInsOf16Or8Steps) {
    StartDoubles();
    enterGameFolder(Steady);
    std::set<int> leadIns, silentThrough;
    int bothDrumsCoined = 0;
    for (int seed = 1; seed <= 30; seed++) {
        std::vector<int> coins = coinsAfterSeeding(int64_t(seed) * 1024);
        StartMusic("test", seed, 500);
        bothDrumsCoined += coins[0] && coins[1];
        EXPECT_EQ(music.VoiceMuted[0] + music.VoiceMuted[1],
                  coins[0] && coins[1] ? 1 : coins[0] + coins[1]);
        EXPECT_FALSE(music.VoiceMuted[2] && music.VoiceMuted[3]) << seed;
        int muted[5], coin[5], fill[5];
        for (int v = 0; v < 5; v++)
            muted[v] = music.VoiceMuted[v], coin[v] = music.VoiceCoin[v],
            fill[v] = music.VoiceFill[v];
        std::vector<Note> notes = play(seed, 128); // one phrase: 8 chords of 16 steps
        for (int v = 0; v < 5; v++) {
            int firstStep = -1, count = 0;
            for (const Note& n : notes)
                if (n.voice == v) count++, firstStep = firstStep < 0 ? n.step : firstStep;
            if (!muted[v]) {
                EXPECT_EQ(count, 128) << seed << " voice " << v;
            } else if (coin[v]) {
                EXPECT_EQ(count, 0) << seed << " voice " << v;
                silentThrough.insert(v);
            } else {
                EXPECT_EQ(firstStep, fill[v] == 1 ? 112 : 120) << seed << " voice " << v;
                EXPECT_EQ(count, 128 - firstStep);
                leadIns.insert(fill[v]);
            }
        }
    }
    EXPECT_EQ(leadIns, (std::set<int>{1, 2}));
    EXPECT_FALSE(silentThrough.empty());
    EXPECT_GT(bothDrumsCoined, 0);
}

TEST(MusicTiming, StepsFollowTheBeatAndCatchUpOneStepPerTick) {
    StartDoubles();
    enterGameFolder(Steady);
    for (int beat : {500, 125}) {
        int start = Millis();
        StartMusic("test", 1, beat);
        std::vector<int> times;
        while (times.size() < 70) {
            int before = music.StepIndex;
            MusicTick();
            if (music.StepIndex != before) times.push_back(Millis() - start);
            SleepMillis(1);
        }
        EXPECT_EQ(times[0], 250);
        for (size_t i = 1; i < times.size(); i++) EXPECT_EQ(times[i] - times[i - 1], beat / 2);
        EXPECT_EQ(music.ArrangeCount, 1); // the bar wrapped once and was laid out again
        EXPECT_EQ(music.PhraseIndex, 2);
    }
    SleepMillis(62 * 8); // a stall of eight steps
    for (int i = 1; i <= 8; i++) {
        int before = music.StepIndex;
        MusicTick();
        EXPECT_EQ(music.StepIndex, before + 1);
    }
    int caughtUp = music.StepIndex;
    MusicTick();
    EXPECT_EQ(music.StepIndex, caughtUp);
}

TEST(MusicFaults, EmptySectionsPatternsAndChordsPlayNothingWithoutCrashing) {
    StartDoubles();
    // Only the melody has notes, and without chords they have no pitch.
    enterGameFolder("[DRUMS]\n[CHORDS]\n\"\"\n[BASS]\n\"\"\n[MELODY]\n\"q\"\n");
    for (const Note& n : play(4, 300)) {
        EXPECT_EQ(n.voice, 3);
        EXPECT_EQ(n.rate, 0.0f);
    }
    // Drums still play over an empty chord line; the pitched voices have no pitch.
    enterGameFolder("[DRUMS]\n\"1\"\n[CHORDS]\n\"\"\n[BASS]\n\"q\"\n");
    std::vector<Note> notes = play(4, 300);
    EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [](const Note& n) { return n.voice < 2; }));
    for (const Note& n : notes) {
        if (n.voice >= 2) {
            EXPECT_EQ(n.rate, 0.0f);
        }
    }
}

// A note ends at the voice's next step even when that step has nothing to
// sound: drum stem 5 is missing from the folder, and the second chord is no
// note key.
TEST(MusicSteps, AnEmptyStemSlotOrAChordWithoutPitchStillEndsTheOldNote) {
    StartDoubles();
    enterGameFolder("[DRUMS]\nSTRETCH=FALSE\n\"15\"\n[CHORDS]\n\"q-qqqqqq\"\n"
                    "[BASS]\nSTRETCH=FALSE\n\"q\"\n[MELODY]\nSTRETCH=FALSE\n\"q\"\n"
                    "[ACCOMPANY]\nSTRETCH=FALSE\n\"q\"\n");
    for (int seed = 1; seed <= 4; seed++) {
        StartMusic("test", seed, 500);
        for (int step = 0; step < 40; step++) {
            int before[5];
            for (int v = 0; v < 5; v++) before[v] = music.MusicChannel[v];
            std::vector<Note> notes = nextStep(step);
            for (int v = 0; v < 5; v++) {
                if (music.VoiceMuted[v]) continue;
                auto note = std::find_if(notes.begin(), notes.end(),
                                         [&](const Note& n) { return n.voice == v; });
                // Stem 5 is an empty slot, and the second chord (steps 16-31)
                // gives the pitched voices rate 0: no new note, the old one gone.
                if ((v < 2 && step % 2 == 1) || (v >= 2 && step >= 16 && step < 32)) {
                    EXPECT_EQ(note, notes.end()) << seed << " step " << step;
                    EXPECT_EQ(music.MusicChannel[v], 0) << seed << " step " << step;
                    EXPECT_EQ(ChannelSound(before[v]), 0) << seed << " step " << step;
                    continue;
                }
                ASSERT_NE(note, notes.end()) << seed << " voice " << v << " step " << step;
                EXPECT_EQ(ChannelSound(before[v]), 0) << "the old note rings on";
                if (v >= 2) {
                    EXPECT_EQ(note->rate, 1.0f) << step;
                }
            }
        }
    }
}

TEST(MusicFaults, MissingLeadStemsSilenceTheMelodyOnly) {
    StartDoubles();
    enterGameFolder(Steady, false);
    ASSERT_EQ(music.StemCount[2], 0);
    std::set<int> voices;
    for (int seed = 1; seed <= 10; seed++)
        for (const Note& n : play(seed, 128)) voices.insert(n.voice);
    EXPECT_EQ(voices, (std::set<int>{0, 1, 2, 4}));
}

TEST(MusicFaults, AnHourOfMusicHoldsAtMostOneChannelPerVoice) {
    StartDoubles();
    enterGameFolder(Steady);
    StartMusic("test", 2, 250); // a step every 125 ms over one-second stems
    int most = 0;
    for (int ms = 0; ms < 3600 * 1000; ms += 16) {
        SleepMillis(16);
        MusicTick();
        most = std::max(most, OpenChannelCount());
    }
    EXPECT_GT(music.ArrangeCount, 400);
    EXPECT_LE(most, 5);
    StopMusic();
    EXPECT_EQ(OpenChannelCount(), 0);
}

// scores.h - score records and "scores.dat", timestamps, the score panel, name
// entry and the floating score numbers.
#pragma once

#include <cstdint>
#include <list>
#include <string>

struct Scores {
    int64_t Score = 0;
    int64_t Timestamp = 0;
    int32_t Badges = 0;
    std::string Name;
    int Best[31] = {};
    int Level = 0;
    int GameMode = 0;
    int GameFlags = 0;
    int Quit = 0;
};

struct ScorePopup {
    int n = 0;
    float x = 0, y = 0;
    int t = 0;
    int r = 0, g = 0, b = 0;
};

struct ScoreState {
    std::list<Scores> ScoreTable; // newest first
    std::string PlayerName = "Player";
    const Scores* TopTable[51] = {}; // rows 1..25 used
    const Scores* SelectedRecord = nullptr;
    int SelectedIndex = 0;
    int PanelSlide = 0;
    std::list<ScorePopup> Popups;
};
extern ScoreState scores;

void LoadScores();
void SaveScores();
void AddRoundScore(int quit);
void SortScores();
int FlagBit(int flags, int n);

int64_t MakeTimestamp(const std::string& dateText);
std::string TimestampDate(int64_t timestamp);
std::string TimestampTime(int64_t timestamp);

int ScorePanel(int a, int mode, int level, int flags);

void NameEntry();
void AddScorePopup(int points, float x, float y, int r, int g, int b);
void DrawScorePopups();

// score_file.cpp - the table of every round ever played and its file "scores.dat".
#include "scores/scores.h"

ScoreState scores;

void LoadScores() {}
void SaveScores() {}
void AddRoundScore(int) {}
void SortScores() {}
int FlagBit(int flags, int n) {
    return n >= 1 && n <= 32 ? (flags >> (n - 1)) & 1 : 0;
}

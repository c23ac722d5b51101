// name_entry.cpp - the name-entry screen after a round and the floating score numbers.
#include "scores/scores.h"

void NameEntry() {}
void AddScorePopup(int, float, float, int, int, int) {}
void DrawScorePopups() {}

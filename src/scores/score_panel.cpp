// score_panel.cpp - the title screen's score table, graph, nag box and details.
#include "scores/scores.h"

int ScorePanel(int, int, int, int) {
    return 0;
}

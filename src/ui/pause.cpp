// pause.cpp - the pause menu that Escape opens during a round.
#include "ui/ui.h"

// Runs the pause menu; 1 to continue, 99 to quit.
int PauseMenu() {
    return 1;
}

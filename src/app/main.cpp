// main.cpp - the program's entry: read the command line, then run the game.
#include "app/app.h"
#include "platform/platform.h"

// Ends through EndProcess, so that every host sees the status: in the browser
// main has long returned to the page when the game ends.
int main(int argc, char** argv) {
    EndProcess(ProgramMain(argc, argv));
}

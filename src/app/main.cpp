// main.cpp - the program's entry: read the command line, then run the game.
#include "app/app.h"

int main(int argc, char** argv) {
    return ProgramMain(argc, argv);
}

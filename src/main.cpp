// main.cpp - the program's entry: read the command line, then run the game.
#include "shell/shell.h"

int ProgramMain(int argc, char** argv);

int main(int argc, char** argv) { return ProgramMain(argc, argv); }

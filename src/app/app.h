// app.h - the program's top-level flow: start-up, the title screen from which
// rounds are played, and the program's entry.
#pragma once

// Creates every program-wide table with its size and defaults (step 2 of start-up).
void CreateProgramTables();
// Reads up to four joysticks: name, buttons, resting axes and whether the hat rests.
void ReadJoysticks();

// The credits shown on the title screen, lines 1-16; CreditCount ends one past the last.
void FillCreditLines();

// Reads the command line (see README) and runs the program; returns the exit
// status for a bad command line or a display that cannot be opened.
int ProgramMain(int argc, char** argv);

// Start-up up to the title screen (tables, log, setup file, display, assets);
// returns the Millis at which the loading picture has been up for 2.5 s.
int StartUp();
void WaitUntil(int millis); // sleeps until Millis() reaches the moment

// The whole program: start-up, title loop, closing screen. Does not return.
[[noreturn]] void RunProgram();
void TitleLoop();

// The title screen's state between frames.
struct TitleState {
    int slide = 0;   // 0..32, the slide-in of the screen
    int held = 0;    // a start is locked until the left button has been released
    int go = 0;      // the left button was held at the end of the last frame
    int escHeld = 0; // Escape still held from a round: not a request to quit
    int quit = 0;
};
void TitleFrame(TitleState& t); // one frame of the title screen, EndFrame included

// run.h - running the real game binary from a test: a private copy of the
// asset pack, the command line, exit status and output, and reading the files
// the run left behind.
#pragma once

#include <string>
#include <vector>

struct RunResult {
    int status = -1; // exit status; 128 + signal when killed
    std::string out, err;
};

// A fresh temporary folder holding a copy of the built "Files/" pack; returns
// its path with a trailing "/".
std::string MakeFilesCopy(const std::string& tag);

// The game binary, "<build>/zorvek-plon".
std::string GameBinary();

// Runs the game with the arguments (no shell involved) from the folder cwd
// ("" = the test's own), killing it after timeoutSeconds.
RunResult RunGame(const std::vector<std::string>& args, const std::string& cwd = "",
                  int timeoutSeconds = 600);

// Runs the game headless on a script (text written to a file in dir) with a
// fixed seed and start time, using dir as its Files folder.
RunResult RunScripted(const std::string& dir, const std::string& script,
                      const std::vector<std::string>& extraArgs = {});

// A whole file as text ("" when missing) and as lines (LF ends a line, CR dropped).
std::string ReadWholeFile(const std::string& path);
std::vector<std::string> ReadLinesOf(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& text);
bool PathExists(const std::string& path);
// The names in a folder, sorted (none when it cannot be read).
std::vector<std::string> FolderNames(const std::string& dir);

// Starts a program (argv[0] is its path, searched in PATH when it has no "/")
// with extra "NAME=value" environment entries and output thrown away; the
// process id, or -1.
int StartProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
// Waits up to timeoutMillis of real time for the process to end: its exit
// status (128 + signal when killed), or -1 when it is still running.
int WaitProcess(int pid, int timeoutMillis);
// Ends a process this test started and reaps it.
void StopProcess(int pid);
// True when the program can be found in PATH.
bool ProgramInPath(const std::string& name);

// A whole scripted session for seed 7: a round on Easy where the figure is
// sent onto the first gun post (651, 261) and fires at a pointer circling it
// until it is overrun, then the name "Zed" and the closing screen. extra holds
// more script lines (any times); the circling pointer is left out from
// skipFrom to skipTo ms.
std::string ShootingRoundScript(const std::string& extra = "", int skipFrom = 0, int skipTo = 0);

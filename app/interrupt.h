// Ending a run on SIGINT, SIGTERM or SIGHUP: the terminal as the shell had
// it, no temporary file left behind, an earlier image untouched, and the
// status 128 + the signal number.
#pragma once

#include <string>
#include <vector>

// The shells' status of a process ended by signal N is this plus N.
constexpr int kExitSignalBase = 128;

// From now on SIGINT, SIGTERM and SIGHUP end the process: the handler removes
// the temporaries, gives the terminal back when the console's screen is
// shown, and exits with kExitSignalBase + the signal number. A signal that
// was ignored when the program started (nohup, a background job of a script)
// stays ignored. Called once, before the console starts, so that curses
// leaves these signals to the handler.
void EndRunOnInterrupt(const std::vector<std::string>& temporaries);

// Remembers, once the console's screen exists, how to leave it; from now on
// until ForgetScreen the handler leaves it.
void RememberScreen();

// The console's screen has ended for good: the handler no longer touches the
// terminal.
void ForgetScreen();

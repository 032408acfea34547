// The full-screen progress display: headings and percentages on a curses screen.
// Without a terminal (standard output not a terminal, TERM unset or unknown)
// there is no screen: nothing is drawn and the run goes on.
#pragma once

#include <string>

typedef struct _win_st WINDOW;

struct counter {
  int rows;        // screen lines at initialisation; -1 without a screen
  int cols;        // screen columns at initialisation; -1 without a screen
  WINDOW* screen;  // the standard screen, or null
  int last_shown;  // the percentage last drawn
  int current;     // the percentage of the latest update
};

// Makes every later initialisation go without a screen, as without a
// terminal; called before the first one, for a run that must draw nothing.
void DoWithoutScreen();
// Enters (or resumes) full-screen mode and zeroes the counter.
int InitPercentageCounter(counter& c);
// Zeroes the counter's percentages; the screen is not touched.
int ResetPercentageCounter(counter& c);
// Leaves full-screen mode and restores the terminal.
int DeInitPercentageCounter(counter& c);
// Writes text at (row, col) when the position is on the screen; refreshes.
int DrawTextPos(int row, int col, std::string text);
// Writes text at (row, col), cut at the screen's right edge, in place of
// whatever the row held from col on; empty text blanks it. Refreshes.
int DrawRowText(int row, int col, const std::string& text);
// The value as decimal text: a minus sign when negative, no padding.
std::string IntToString(int value);
// The indicator text of a percentage: right-aligned in three characters and
// followed by "%" ("  2%", " 33%", "100%").
std::string PercentageText(int percentage);
// Draws done/total as a whole percentage, right-aligned in three characters
// and followed by "%", when it exceeds the last one shown.
int ShowPercentage(int row, int col, unsigned done, unsigned total, counter& c);

// True while full-screen mode is active: messages written to the terminal now
// would be hidden.
bool ConsoleActive();

// The progress display on a curses screen. The screen is created once per
// process and resumed by later initialisations; without a usable terminal
// there is no screen and every drawing call does nothing.
#include "console/console.h"

#include <ncurses.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

SCREEN* g_screen = nullptr;   // the one curses screen, once created
bool g_screen_tried = false;  // creation is attempted only once per process
bool g_active = false;        // between InitPercentageCounter and DeInitPercentageCounter

// Leaves full-screen mode if the process ends while it is active, so that the
// shell gets its terminal back in a usable state.
void RestoreTerminalAtExit() {
  if (g_active) {
    endwin();
    g_active = false;
  }
}

// Standard output must be a terminal of a type that curses knows. newterm
// (unlike initscr) returns null for an unknown type instead of ending the process.
SCREEN* CreateScreen() {
  if (!isatty(STDOUT_FILENO)) return nullptr;
  const char* term = std::getenv("TERM");
  if (term == nullptr || term[0] == '\0') return nullptr;
  SCREEN* screen = newterm(nullptr, stdout, stdin);
  if (screen != nullptr) std::atexit(RestoreTerminalAtExit);
  return screen;
}

}  // namespace

void DoWithoutScreen() { g_screen_tried = true; }

int InitPercentageCounter(counter& c) {
  if (!g_screen_tried) {
    g_screen_tried = true;
    g_screen = CreateScreen();
  }
  c.last_shown = 0;
  c.current = 0;
  if (g_screen == nullptr) {
    c.rows = -1;
    c.cols = -1;
    c.screen = nullptr;
    return 1;
  }
  // After an endwin the next refresh resumes full-screen mode with the
  // screen's contents; no second screen is made.
  cbreak();
  noecho();
  c.screen = stdscr;
  getmaxyx(stdscr, c.rows, c.cols);
  refresh();
  g_active = true;
  return 1;
}

int ResetPercentageCounter(counter& c) {
  c.last_shown = 0;
  c.current = 0;
  return 1;
}

int DeInitPercentageCounter(counter&) {
  if (g_active) {
    endwin();
    g_active = false;
  }
  return 1;
}

int DrawTextPos(int row, int col, std::string text) {
  // Outside full-screen mode a refresh would bring the screen back: draw nothing.
  if (!g_active) return 1;
  if (wmove(stdscr, row, col) != ERR) waddnstr(stdscr, text.c_str(), -1);
  refresh();
  return 1;
}

int DrawRowText(int row, int col, const std::string& text) {
  if (!g_active) return 1;
  // Blanked before the text is written: a text that ends at the right edge
  // leaves the cursor on the next row.
  if (wmove(stdscr, row, col) != ERR) {
    wclrtoeol(stdscr);
    waddnstr(stdscr, text.c_str(), getmaxx(stdscr) - col);
  }
  refresh();
  return 1;
}

std::string IntToString(int value) { return std::to_string(value); }

std::string PercentageText(int percentage) {
  std::string text = IntToString(percentage);
  if (percentage < 100) text = " " + text;
  if (percentage < 10) text = " " + text;
  return text + "%";
}

int ShowPercentage(int row, int col, unsigned done, unsigned total, counter& c) {
  if (total == 0) return 1;  // no percentage exists
  double percentage = (double(done) / double(total)) * 100.0;
  // done may exceed total by far; keep the truncation inside the range of int.
  int p = percentage < 2147483648.0 ? int(percentage) : INT_MAX;
  c.current = p;
  if (p > c.last_shown) {
    c.last_shown = p;
    DrawTextPos(row, col, PercentageText(p));
    if (g_active) refresh();
  }
  return 1;
}

bool ConsoleActive() { return g_active; }

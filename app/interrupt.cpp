#include "app/interrupt.h"

#include <curses.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

namespace {

const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The handler may run on any thread (a sensor thread too) at any moment, so
// it calls only async-signal-safe functions, no library function of C++ but
// lock-free atomics, and reads only plain data that was set before it was
// installed, or published through screen_shown.
// Held through these pointers until the process ends, so that neither a
// destructor at exit nor the leak check sees them go.
const std::vector<std::string>* temporary_names = nullptr;
const char** temporaries = nullptr;
size_t temporary_count = 0;
struct termios shell_mode;
bool shell_mode_saved = false;

// Room for the bytes that leave the screen; a terminal needs a few dozen.
constexpr size_t kScreenExitCapacity = 256;
char screen_exit[kScreenExitCapacity];
size_t screen_exit_length = 0;
std::atomic<bool> screen_shown{false};

// Set by the first signal: a second one, perhaps on another thread, must not
// restore the terminal a second time.
std::atomic_flag ending = ATOMIC_FLAG_INIT;

void WriteAll(int descriptor, const char* bytes, size_t count) {
  while (count > 0) {
    ssize_t written = write(descriptor, bytes, count);
    if (written <= 0) return;  // the handler cannot do more about a failed write
    bytes += written;
    count -= size_t(written);
  }
}

void EndRun(int signal_number) {
  if (ending.test_and_set()) {
    for (;;) pause();  // the first signal's handler ends the process
  }
  for (size_t i = 0; i < temporary_count; ++i) unlink(temporaries[i]);
  if (screen_shown.load()) {
    WriteAll(STDOUT_FILENO, screen_exit, screen_exit_length);
    if (shell_mode_saved) tcsetattr(STDOUT_FILENO, TCSANOW, &shell_mode);
  }
  _exit(kExitSignalBase + signal_number);
}

// Appends a terminal capability without its padding delays ("$<5>"), which
// only the curses output routines understand; nothing when it is missing.
void AppendCapability(const char* capability) {
  if (capability == nullptr || capability == reinterpret_cast<const char*>(-1)) return;
  for (const char* c = capability; *c != '\0'; ++c) {
    const char* delay_end = c[0] == '$' && c[1] == '<' ? std::strchr(c, '>') : nullptr;
    if (delay_end != nullptr) {
      c = delay_end;
      continue;
    }
    if (screen_exit_length == kScreenExitCapacity) return;
    screen_exit[screen_exit_length++] = *c;
  }
}

}  // namespace

void EndRunOnInterrupt(const std::vector<std::string>& names) {
  temporary_names = new std::vector<std::string>(names);
  temporaries = new const char*[temporary_names->size()];
  for (size_t i = 0; i < temporary_names->size(); ++i) temporaries[i] = (*temporary_names)[i].c_str();
  temporary_count = temporary_names->size();
  shell_mode_saved = isatty(STDOUT_FILENO) && tcgetattr(STDOUT_FILENO, &shell_mode) == 0;
  struct sigaction action {};
  action.sa_handler = EndRun;
  sigemptyset(&action.sa_mask);
  for (int signal_number : kEndingSignals) sigaddset(&action.sa_mask, signal_number);
  for (int signal_number : kEndingSignals) {
    struct sigaction previous {};
    if (sigaction(signal_number, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaction(signal_number, &action, nullptr);
  }
}

// What curses does on leaving the screen: the cursor to the last line, where
// the shell's prompt follows the drawing, the cursor shown, the terminal's
// own screen back.
void RememberScreen() {
  screen_exit_length = 0;
  const char* move = tigetstr("cup");
  if (move != nullptr && move != reinterpret_cast<const char*>(-1)) AppendCapability(tiparm(move, LINES - 1, 0));
  AppendCapability(tigetstr("cnorm"));
  AppendCapability(tigetstr("rmcup"));
  screen_shown.store(true);
}

void ForgetScreen() { screen_shown.store(false); }

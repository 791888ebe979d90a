#include "platform/linux/terminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/console_services.h"

namespace {

termios foundMode;
termios keyMode;
std::atomic<bool> keyModeWanted{false};
std::atomic<bool> keyModeOn{false};
std::atomic<bool> enteringKeyMode{false};  // a signal handler must not enter halfway
std::atomic<bool> stopRequested{false};
std::atomic<int> stopSignals{0};

}  // namespace

// A terminal that is not our controlling one has no job control to obey.
bool InForeground(void) {
  pid_t owner = tcgetpgrp(STDIN_FILENO);
  return owner < 0 || owner == getpgrp();
}

namespace {

void RestoreAtExit(void) { RestoreTerminal(); }

void OnStopSignal(int) {
  if (stopSignals.fetch_add(1) > 0) {
    // Asked again while stopping: the user wants out now.
    RestoreTerminal();
    _exit(255);
  }
  stopRequested.store(true);
}

// The reader of our output is gone: stop as on a hang-up, but never end at
// once for it, since the final save may raise it again.
void OnBrokenPipe(int) { stopRequested.store(true); }

void OnQuitOrSuspend(int signal) {
  int saved = errno;
  RestoreTerminal();
  if (signal == SIGTSTP) {
    raise(SIGSTOP);
    // Resumed: SIGCONT brings key mode back.
  } else {
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(signal, &fallback, nullptr);
    raise(signal);
  }
  errno = saved;
}

// Resumed, perhaps brought to the foreground for the first time ("fg"
// after a start in the background): key mode is (again) due.
void OnContinue(int) {
  int saved = errno;
  if (keyModeOn.load() && InForeground())
    tcsetattr(STDIN_FILENO, TCSANOW, &keyMode);
  else
    KeepKeyMode();
  errno = saved;
}

void Catch(int signal, void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

void EnterKeyMode(void) {
  keyModeWanted.store(true);
  KeepKeyMode();
}

void KeepKeyMode(void) {
  if (!keyModeWanted.load() || keyModeOn.load() || isatty(STDIN_FILENO) != 1 || !InForeground())
    return;
  if (enteringKeyMode.exchange(true)) return;
  if (tcgetattr(STDIN_FILENO, &foundMode) != 0) {
    enteringKeyMode.store(false);
    return;
  }
  keyMode = foundMode;
  // Keys one at a time and unechoed; output processing and signal keys
  // (Ctrl+C) stay as they were.
  keyMode.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  keyMode.c_cc[VMIN] = 1;
  keyMode.c_cc[VTIME] = 0;
  keyModeOn.store(true);
  tcsetattr(STDIN_FILENO, TCSANOW, &keyMode);
  enteringKeyMode.store(false);
}

void RestoreTerminal(void) {
  if (keyModeOn.load()) tcsetattr(STDIN_FILENO, TCSANOW, &foundMode);
}

void InstallStopHandlers(void) {
  std::atexit(RestoreAtExit);
  // No SA_RESTART: a stop signal cuts Sleep short, so the loop sees it.
  Catch(SIGINT, OnStopSignal, 0);
  Catch(SIGTERM, OnStopSignal, 0);
  Catch(SIGHUP, OnStopSignal, 0);
  Catch(SIGPIPE, OnBrokenPipe, 0);
  Catch(SIGQUIT, OnQuitOrSuspend, SA_NODEFER);
  Catch(SIGTSTP, OnQuitOrSuspend, SA_RESTART);
  Catch(SIGCONT, OnContinue, SA_RESTART);
}

BOOL StopRequested(void) { return stopRequested.load() ? TRUE : FALSE; }

void EndProgram(UINT code) {
  RestoreTerminal();
  _exit(static_cast<int>(code));
}

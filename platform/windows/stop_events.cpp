#include "platform/windows/stop_events.h"

#include <atomic>

#include "platform/console_services.h"

namespace {

// Set on the system's handler thread, read by the main thread.
std::atomic<bool> StopAsked{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      StopAsked.store(true);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      StopAsked.store(true);
      // The system ends the process as soon as this handler returns. Held
      // here, it leaves the main thread time for the final save; the main
      // thread's exit then ends this thread too.
      Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void InstallStopHandler(void) { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

BOOL StopRequested(void) { return StopAsked.load() ? TRUE : FALSE; }

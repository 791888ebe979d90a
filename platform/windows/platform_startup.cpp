#include "platform/console_services.h"
#include "platform/windows/console_input_mode.h"
#include "platform/windows/key_input.h"
#include "platform/windows/stop_events.h"

void PlatformStartup(void) {
  // A second call would save the already switched mode as the one to put
  // back at the end.
  static bool started = false;
  if (started) return;
  started = true;
  SwitchConsoleInputMode();
  InstallStopHandler();
}

void ReportPlatformDiagnostics(void) {
  ConsolePrintA("\nKey input: %s\n", KeySourceDescription(CurrentKeySource()));
}

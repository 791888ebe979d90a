#include "control/exit.h"

#include "control/settings.h"
#include "platform/console_services.h"

void ExitWithCode(int code) {
  ConsolePrintW(WSTR("\nReturn_Code=%d\n"), code);
  // The key is left unread; a stop signal also ends the wait.
  if (blDebug)
    while (!KeyPressPending() && !StopRequested()) Sleep(1000);
  EndProgram(static_cast<UINT>(code));
}

#include <cstdio>

#include "platform/console_services.h"
#include "platform/windows/console_input_mode.h"

void EndProgram(UINT code) {
  std::fflush(stdout);
  RestoreConsoleInputMode();
  ExitProcess(code);
}

#include "control/program.h"

#include "control/command_line.h"
#include "control/monitor_loop.h"
#include "platform/console_services.h"

void TolvaneMain(int argc, WCHAR** argv) {
  PlatformStartup();
  ShowTitle();
  ParseCommandLine(argc, argv);
  RunMonitor();
}

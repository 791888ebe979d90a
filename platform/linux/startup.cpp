#include <sys/resource.h>

#include "platform/console_services.h"
#include "platform/linux/clock.h"
#include "platform/linux/compat.h"
#include "platform/linux/terminal.h"

namespace {

// Every watched process holds a pidfd, up to one per record of the table:
// more than the usual soft limit of 1024 descriptors.
void RaiseDescriptorLimit(void) {
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

bool started = false;

}  // namespace

void PlatformStartup(void) {
  if (started) return;
  started = true;
  RaiseDescriptorLimit();
  BootFileTime();  // the origin of creation times, taken once now
  EnterKeyMode();
  InstallStopHandlers();
  SelectExitCodeSource();
}

void ReportPlatformDiagnostics(void) {
  ConsolePrintA("\nPlatformStartup(): exit codes from %s\n",
                ExitCodeSourceName(ServingExitCodeSource()));
}

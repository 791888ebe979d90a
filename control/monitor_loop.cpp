#include "control/monitor_loop.h"

#include "control/exit.h"
#include "control/save_schedule.h"
#include "control/settings.h"
#include "platform/console_services.h"
#include "platform/process_services.h"
#include "platform/wide_text.h"
#include "presentation/console_view.h"
#include "presentation/log_file.h"
#include "tracking/process_table.h"
#include "tracking/tree_scan.h"

namespace {

constexpr std::uint64_t UnitsPerSecond = 10000000u;

// Above this many records the run stops, while the table still has room
// for what one more scan may add.
constexpr DWORD TableNearlyFull = 1001;

void StopForFullTable() {
  MessageBoxW(nullptr, WSTR("Data array is out of memory!!"), nullptr, MB_OK);
  WideCopy(szErrMsg, MAX_PATH, WSTR("Data array is out of memory!!\n"));
  blErrMsg = TRUE;
}

}  // namespace

std::uint64_t CurrentTime(void) {
  SYSTEMTIME now;
  GetSystemTime(&now);
  FILETIME time;
  SystemTimeToFileTime(&now, &time);
  return FileTimeValue(time);
}

void RunMonitor(void) {
  GetLogFileName();
  if (blDebug) ReportPlatformDiagnostics();
  const DWORD parent = GetParentProcessID(GetCurrentProcessId());
  GetSystemTime(&tProgramStart);

  const std::uint64_t checkPeriod = static_cast<std::uint64_t>(CheckTimer) * UnitsPerSecond;
  const std::uint64_t dumpPeriod = static_cast<std::uint64_t>(DumpTimer) * UnitsPerSecond;
  const std::uint64_t start = CurrentTime();
  std::uint64_t nextCheck = start + checkPeriod;
  std::uint64_t nextDump = start + dumpPeriod;
  NextSave = start + SavePeriod;

  GetProcessList(parent);
  DumpProcessList();

  int resultCode = 0;
  for (;;) {
    Sleep(250);
    // A stop signal is the stop key, taken at once rather than at the next
    // scan so that a long check period cannot hold it back.
    if (StopRequested()) break;
    const std::uint64_t now = CurrentTime();
    if (now < nextCheck) continue;

    GetProcessList(parent);
    std::uint64_t latest = CurrentTime();
    nextCheck = latest + checkPeriod;
    if (nextDump < now) {
      DumpProcessList();
      latest = CurrentTime();
      nextDump = latest + dumpPeriod;
    }
    if (!SaveIfDue(now, latest)) break;
    if (RecordCount > TableNearlyFull) {
      StopForFullTable();
      resultCode = 255;
      break;
    }
    if (!CheckKeyboard()) break;
  }
  ExitWithCode(FinalSave(resultCode));
}

#include "control/save_schedule.h"

#include "control/exit.h"
#include "control/settings.h"
#include "platform/console_services.h"
#include "presentation/console_view.h"
#include "presentation/log_file.h"
#include "tracking/exit_watch.h"

std::uint64_t NextSave = 0;

namespace {

// A stopping run gives a failing save this many more tries, 100 ms apart,
// so that it ends even when the log can never be written.
constexpr int TriesWhenStopping = 20;

// Retries every 100 ms while the save asks for it. Keys are read meanwhile
// (paging still works); Esc or a stop signal ends the retries and sets
// *stopped.
int SaveUntilWrittenOrStopped(bool* stopped) {
  int result = blFileSave();
  while (result == SaveRetry) {
    Sleep(100);
    if (StopRequested() || !CheckKeyboard()) {
      *stopped = true;
      return result;
    }
    result = blFileSave();
  }
  return result;
}

int SaveWithLastTries() {
  int result = blFileSave();
  for (int tries = 0; result == SaveRetry && tries < TriesWhenStopping; ++tries) {
    Sleep(100);
    result = blFileSave();
  }
  return result;
}

}  // namespace

bool SaveIfDue(std::uint64_t now, std::uint64_t latest) {
  if (!(NextSave < now)) return true;
  CheckLostClose();
  bool stopped = false;
  const int result = SaveUntilWrittenOrStopped(&stopped);
  if (stopped) return false;
  if (result == SaveCannotGoOn) {
    CheckLostClose();
    ExitWithCode(255);
  }
  NextSave = latest + SavePeriod;
  return true;
}

int FinalSave(int resultCode) {
  CheckLostClose();
  const int result = SaveWithLastTries();
  // A log that could not be written is a failed run, whatever stopped it.
  return result == SaveWritten ? resultCode : 255;
}

#include "control/save_schedule.h"

#include "control/exit.h"
#include "control/settings.h"
#include "platform/console_services.h"
#include "presentation/console_view.h"
#include "presentation/log_file.h"
#include "tracking/exit_watch.h"

std::uint64_t NextSave = 0;

namespace {

// Tries left for the final save once a stop has been asked while it fails:
// the program still ends if the log can never be written.
constexpr int TriesAfterStop = 20;

// Saves, retrying every 100 ms while the save asks for it. Keys are read
// meanwhile (paging still works); Esc or a stop signal ends the retries of
// a periodic save at once and leaves a final save its last few tries.
int SaveRetrying(bool finalSave, bool* stopAsked) {
  int triesLeft = *stopAsked ? TriesAfterStop : -1;
  int result = blFileSave();
  while (result == SaveRetry) {
    if (triesLeft == 0) return result;
    Sleep(100);
    if (!*stopAsked && (StopRequested() || !CheckKeyboard())) {
      *stopAsked = true;
      if (!finalSave) return result;
      triesLeft = TriesAfterStop;
    }
    result = blFileSave();
    if (triesLeft > 0) --triesLeft;
  }
  return result;
}

}  // namespace

bool SaveIfDue(std::uint64_t now, std::uint64_t latest) {
  if (!(NextSave < now)) return true;
  CheckLostClose();
  bool stopAsked = false;
  const int result = SaveRetrying(false, &stopAsked);
  if (stopAsked) return false;
  if (result == SaveCannotGoOn) {
    CheckLostClose();
    ExitWithCode(255);
  }
  NextSave = latest + SavePeriod;
  return true;
}

int FinalSave(int resultCode, bool stopDuringSave) {
  CheckLostClose();
  bool stopAsked = stopDuringSave;
  const int result = SaveRetrying(true, &stopAsked);
  // A log that could not be written is a failed run, whatever stopped it.
  return result == SaveWritten ? resultCode : 255;
}

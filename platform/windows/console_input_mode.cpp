#include "platform/windows/console_input_mode.h"

#include "platform/console_services.h"

namespace {

bool ModeSaved = false;
HANDLE SavedInput = nullptr;
DWORD SavedMode = 0;

}  // namespace

void SwitchConsoleInputMode(void) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (input == nullptr || input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) return;
  SavedInput = input;
  SavedMode = mode;
  ModeSaved = true;
  // Processed input stays on: it is what turns Ctrl+C into a stop event
  // instead of a key.
  SetConsoleMode(input, (mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) |
                            ENABLE_PROCESSED_INPUT);
}

void RestoreConsoleInputMode(void) {
  if (ModeSaved) SetConsoleMode(SavedInput, SavedMode);
}

#include "platform/windows/key_input.h"
#include "platform/windows/key_queue.h"
#include "platform/windows/key_translation.h"

namespace {

// Wine's console, fed by a terminal, cannot tell the grey navigation keys
// from those of the numeric keypad and never marks either as enhanced; the
// grey ones are what people page with.
bool UnderWine() {
  static const bool wine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

}  // namespace

void FetchConsoleKeys(HANDLE input) {
  // Events that give no code (releases, modifiers, mouse, focus, resizing)
  // are taken out of the way, so that a waiting key is seen behind them.
  while (KeyQueueEmpty()) {
    if (WaitForSingleObject(input, 0) != WAIT_OBJECT_0) return;
    INPUT_RECORD record;
    DWORD count = 0;
    // ReadConsoleInputW blocks on an empty buffer; the peek makes sure it
    // will not.
    if (!PeekConsoleInputW(input, &record, 1, &count) || count == 0) return;
    if (!ReadConsoleInputW(input, &record, 1, &count) || count == 0) return;
    if (record.EventType != KEY_EVENT) continue;

    int codes[MaxCodesPerKey];
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    const int perPress = TranslateKeyEvent(key, UnderWine(), GetConsoleCP(), codes);
    if (perPress == 0) continue;
    const int presses = key.wRepeatCount > 0 ? key.wRepeatCount : 1;
    for (int press = 0; press < presses && KeyQueueRoom() >= perPress; ++press)
      for (int i = 0; i < perPress; ++i) KeyQueuePush(codes[i]);
  }
}

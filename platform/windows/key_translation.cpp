#include "platform/windows/key_translation.h"

namespace {

bool IsModifierKey(WORD key) {
  switch (key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_LMENU:
    case VK_RMENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
      return true;
    default:
      return false;
  }
}

bool IsNavigationKey(WORD key) {
  switch (key) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
      return true;
    default:
      return false;
  }
}

// Wine's console reports Esc without its character; Windows gives these
// keys their control characters.
WCHAR ControlCharacter(WORD key) {
  switch (key) {
    case VK_ESCAPE:
      return 0x1B;
    case VK_TAB:
      return 0x09;
    case VK_RETURN:
      return 0x0D;
    case VK_BACK:
      return 0x08;
    default:
      return 0;
  }
}

int CharacterCodes(WCHAR character, UINT codePage, int codes[MaxCodesPerKey]) {
  if (character < 0x80) {
    codes[0] = character;
    return 1;
  }
  char bytes[MaxCodesPerKey];
  const int count =
      WideCharToMultiByte(codePage, 0, &character, 1, bytes, MaxCodesPerKey, nullptr, nullptr);
  for (int i = 0; i < count; ++i) codes[i] = static_cast<unsigned char>(bytes[i]);
  return count > 0 ? count : 0;
}

}  // namespace

int TranslateKeyEvent(const KEY_EVENT_RECORD& event, bool navigationAlwaysEnhanced, UINT codePage,
                      int codes[MaxCodesPerKey]) {
  const WORD key = event.wVirtualKeyCode;
  if (!event.bKeyDown || IsModifierKey(key)) return 0;

  WCHAR character = event.uChar.UnicodeChar;
  if (character == 0) character = ControlCharacter(key);
  if (character != 0) return CharacterCodes(character, codePage, codes);

  // The console's key read gives F11 and F12 codes of their own, not
  // their scan codes.
  if (key == VK_F11 || key == VK_F12) {
    codes[0] = 0xE0;
    codes[1] = key == VK_F11 ? 0x85 : 0x86;
    return 2;
  }
  const WORD scan = event.wVirtualScanCode;
  if (scan == 0 || scan > 0xFF) return 0;
  const bool enhanced = (event.dwControlKeyState & ENHANCED_KEY) != 0 ||
                        (navigationAlwaysEnhanced && IsNavigationKey(key));
  codes[0] = enhanced ? 0xE0 : 0x00;
  codes[1] = scan;
  return 2;
}

// Console key events to the codes of the console's own key read.

#include "platform/windows/key_translation.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

KEY_EVENT_RECORD Key(bool down, WORD virtualKey, WORD scan, WCHAR character, DWORD state) {
  KEY_EVENT_RECORD key{};
  key.bKeyDown = down ? TRUE : FALSE;
  key.wRepeatCount = 1;
  key.wVirtualKeyCode = virtualKey;
  key.wVirtualScanCode = scan;
  key.uChar.UnicodeChar = character;
  key.dwControlKeyState = state;
  return key;
}

struct TranslationCase {
  const char* label;
  KEY_EVENT_RECORD key;
  bool navigationAlwaysEnhanced;
  UINT codePage;
  std::vector<int> codes;
};

TEST(KeyTranslation, GivesTheCodesOfTheConsoleKeyRead) {
  const TranslationCase cases[] = {
      {"Esc", Key(true, VK_ESCAPE, 0x01, 0x1B, 0), false, 437, {0x1B}},
      {"Esc without its character, as Wine's console sends it",
       Key(true, VK_ESCAPE, 0x01, 0, 0),
       true,
       437,
       {0x1B}},
      {"Tab", Key(true, VK_TAB, 0x0F, 0x09, 0), false, 437, {0x09}},
      {"Enter of the keypad", Key(true, VK_RETURN, 0x1C, 0x0D, ENHANCED_KEY), false, 437, {0x0D}},
      {"letter", Key(true, 'A', 0x1E, L'a', 0), false, 437, {'a'}},
      {"Ctrl+A", Key(true, 'A', 0x1E, 0x01, LEFT_CTRL_PRESSED), false, 437, {0x01}},
      {"accented letter, OEM code page", Key(true, 0, 0, 0x00E9, 0), false, 437, {0x82}},
      {"accented letter, ANSI code page", Key(true, 0, 0, 0x00E9, 0), false, 1252, {0xE9}},
      {"accented letter, UTF-8", Key(true, 0, 0, 0x00E9, 0), false, CP_UTF8, {0xC3, 0xA9}},
      {"Page Up", Key(true, VK_PRIOR, 0x49, 0, ENHANCED_KEY), false, 437, {0xE0, 0x49}},
      {"Page Down", Key(true, VK_NEXT, 0x51, 0, ENHANCED_KEY), false, 437, {0xE0, 0x51}},
      {"Up", Key(true, VK_UP, 0x48, 0, ENHANCED_KEY), false, 437, {0xE0, 0x48}},
      {"Delete", Key(true, VK_DELETE, 0x53, 0, ENHANCED_KEY), false, 437, {0xE0, 0x53}},
      {"Page Up of the keypad", Key(true, VK_PRIOR, 0x49, 0, 0), false, 437, {0x00, 0x49}},
      {"Page Up not marked enhanced under Wine",
       Key(true, VK_PRIOR, 0x49, 0, 0),
       true,
       437,
       {0xE0, 0x49}},
      {"F1 stays a function key under Wine", Key(true, VK_F1, 0x3B, 0, 0), true, 437, {0x00, 0x3B}},
      {"F10", Key(true, VK_F10, 0x44, 0, 0), false, 437, {0x00, 0x44}},
      {"F11", Key(true, VK_F11, 0x57, 0, 0), false, 437, {0xE0, 0x85}},
      {"F12", Key(true, VK_F12, 0x58, 0, 0), false, 437, {0xE0, 0x86}},
      {"release", Key(false, VK_ESCAPE, 0x01, 0x1B, 0), false, 437, {}},
      {"Shift", Key(true, VK_SHIFT, 0x2A, 0, SHIFT_PRESSED), false, 437, {}},
      {"right Ctrl",
       Key(true, VK_CONTROL, 0x1D, 0, ENHANCED_KEY | RIGHT_CTRL_PRESSED),
       false,
       437,
       {}},
      {"Caps Lock", Key(true, VK_CAPITAL, 0x3A, 0, CAPSLOCK_ON), false, 437, {}},
      {"a key the console could not name", Key(true, 0, 0, 0, 0), true, 437, {}},
  };
  for (const TranslationCase& c : cases) {
    SCOPED_TRACE(c.label);
    int codes[MaxCodesPerKey];
    const int count = TranslateKeyEvent(c.key, c.navigationAlwaysEnhanced, c.codePage, codes);
    ASSERT_GE(count, 0);
    ASSERT_LE(count, MaxCodesPerKey);
    EXPECT_EQ(std::vector<int>(codes, codes + count), c.codes);
  }
}

}  // namespace

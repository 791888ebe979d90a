// Keys, input mode and stop events on a real console. Wine gives a program
// a console only when it runs in a terminal, so these run in a pass of
// their own, under a pseudo-terminal (run_under_wine.sh --console).

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/console_services.h"
#include "tests/windows/child_process.h"

namespace {

HANDLE ConsoleInput() { return GetStdHandle(STD_INPUT_HANDLE); }

bool HaveConsoleInput() {
  DWORD mode = 0;
  return GetConsoleMode(ConsoleInput(), &mode) != FALSE;
}

// In the pass under a pseudo-terminal, which sets TOLVANE_CONSOLE_PASS, a
// missing console is a failure rather than a reason to skip.
#define REQUIRE_CONSOLE()                                                                   \
  do {                                                                                      \
    if (HaveConsoleInput()) break;                                                          \
    if (std::getenv("TOLVANE_CONSOLE_PASS") != nullptr)                                     \
      FAIL() << "standard input is not a console";                                          \
    GTEST_SKIP() << "standard input is not a console; run_under_wine.sh --console runs it"; \
  } while (false)

INPUT_RECORD KeyRecord(bool down, WORD virtualKey, WORD scan, WCHAR character, DWORD state,
                       WORD repeat = 1) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  key.bKeyDown = down ? TRUE : FALSE;
  key.wRepeatCount = repeat;
  key.wVirtualKeyCode = virtualKey;
  key.wVirtualScanCode = scan;
  key.uChar.UnicodeChar = character;
  key.dwControlKeyState = state;
  return record;
}

INPUT_RECORD FocusRecord() {
  INPUT_RECORD record{};
  record.EventType = FOCUS_EVENT;
  record.Event.FocusEvent.bSetFocus = TRUE;
  return record;
}

HANDLE NewEvent(const std::wstring& name) {
  return CreateEventW(nullptr, TRUE, FALSE, name.c_str());
}

std::wstring EventName(const wchar_t* role) {
  return L"tolvane_console_" + std::to_wstring(GetCurrentProcessId()) + L"_" + role;
}

DWORD ExitCodeOf(HANDLE process) {
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  return code;
}

TEST(ConsoleKeys, KeyEventsBecomeCodesInOrderPastEventsThatGiveNone) {
  REQUIRE_CONSOLE();
  FlushConsoleInputBuffer(ConsoleInput());
  while (KeyPressPending()) ReadKeyCode();

  const INPUT_RECORD records[] = {
      FocusRecord(),
      KeyRecord(false, VK_RETURN, 0x1C, 0x0D, 0),
      KeyRecord(true, VK_SHIFT, 0x2A, 0, SHIFT_PRESSED),
      KeyRecord(true, VK_ESCAPE, 0x01, 0x1B, 0),
      KeyRecord(false, VK_ESCAPE, 0x01, 0x1B, 0),
      KeyRecord(true, VK_NEXT, 0x51, 0, ENHANCED_KEY),
      // Page Up as Wine's console reports it from a terminal: not enhanced.
      KeyRecord(true, VK_PRIOR, 0x49, 0, 0),
      KeyRecord(true, 'A', 0x1E, L'a', 0, 2),
      KeyRecord(true, VK_F1, 0x3B, 0, 0),
      FocusRecord(),
  };
  DWORD written = 0;
  ASSERT_TRUE(WriteConsoleInputW(ConsoleInput(), records, std::size(records), &written));
  ASSERT_EQ(written, std::size(records));

  EXPECT_TRUE(KeyPressPending());
  EXPECT_TRUE(KeyPressPending()) << "the pending test took a key";
  std::vector<int> codes;
  while (KeyPressPending() && codes.size() < 20) codes.push_back(ReadKeyCode());
  EXPECT_EQ(codes, (std::vector<int>{0x1B, 0xE0, 0x51, 0xE0, 0x49, 'a', 'a', 0x00, 0x3B}));
}

TEST(ConsoleKeys, StartupSwitchesTheInputModeAndTheEndPutsItBack) {
  REQUIRE_CONSOLE();
  DWORD before = 0;
  ASSERT_TRUE(GetConsoleMode(ConsoleInput(), &before));
  const DWORD lineMode = before | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT;
  ASSERT_TRUE(SetConsoleMode(ConsoleInput(), lineMode));

  HANDLE ready = NewEvent(EventName(L"ready"));
  HANDLE release = NewEvent(EventName(L"release"));
  Child child;
  ASSERT_TRUE(StartChild(OwnPath(),
                         L"--hold-console " + EventName(L"ready") + L" " + EventName(L"release"),
                         ChildInput{}, 0, &child));
  EXPECT_EQ(WaitForSingleObject(ready, Patience), WAIT_OBJECT_0);
  DWORD during = 0;
  GetConsoleMode(ConsoleInput(), &during);
  EXPECT_EQ(during & (ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT), 0u);
  EXPECT_NE(during & ENABLE_PROCESSED_INPUT, 0u) << "Ctrl+C would arrive as a key";

  SetEvent(release);
  EXPECT_EQ(WaitForSingleObject(child.process, Patience), WAIT_OBJECT_0);
  EXPECT_EQ(ExitCodeOf(child.process), 7u);
  DWORD after = 0;
  GetConsoleMode(ConsoleInput(), &after);
  EXPECT_EQ(after, lineMode);

  FinishChild(&child);
  CloseHandle(ready);
  CloseHandle(release);
  SetConsoleMode(ConsoleInput(), before);
}

// The event goes to every process on the console, this one included.
BOOL WINAPI KeepRunning(DWORD event) { return event == CTRL_C_EVENT ? TRUE : FALSE; }

// Wine generates no Ctrl+Break, so Ctrl+C stands for both.
TEST(ConsoleKeys, CtrlCAsksTheProgramToStop) {
  REQUIRE_CONSOLE();
  HANDLE ready = NewEvent(EventName(L"stop_ready"));
  Child child;
  ASSERT_TRUE(
      StartChild(OwnPath(), L"--await-stop " + EventName(L"stop_ready"), ChildInput{}, 0, &child));
  EXPECT_EQ(WaitForSingleObject(ready, Patience), WAIT_OBJECT_0);

  SetConsoleCtrlHandler(KeepRunning, TRUE);
  EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
  EXPECT_EQ(WaitForSingleObject(child.process, Patience), WAIT_OBJECT_0);
  SetConsoleCtrlHandler(KeepRunning, FALSE);
  EXPECT_EQ(ExitCodeOf(child.process), 0u) << "1: no stop was seen";

  FinishChild(&child);
  CloseHandle(ready);
}

}  // namespace

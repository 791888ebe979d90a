#include "presentation/console_view.h"

#include <cstdint>

#include "control/command_line.h"
#include "control/settings.h"
#include "platform/console_services.h"
#include "platform/wide_text.h"
#include "presentation/display_text.h"
#include "tracking/process_table.h"

DWORD CurrentPage = 0;

namespace {

constexpr std::size_t NameColumnWidth = 33;

// The highest page shows the records from RecordCount / DumpNumber pages on;
// with no rows per page there is only page 0.
DWORD HighestPage() { return DumpNumber == 0 ? 0 : RecordCount / DumpNumber; }

void PrintRow(DWORD index) {
  const ProcessData record = ReadRecord(index);
  WCHAR shown[MAX_PATH];
  CopyForDisplay(shown, MAX_PATH,
                 record.FilePathName[0] != 0 ? record.FilePathName : record.ExeName);
  const WCHAR* name = shown;
  std::size_t length = WideLength(name);
  if (length > NameColumnWidth) name += length - NameColumnWidth;
  ConsolePrintW(WSTR("%s%-03d %08X %08X %08X %-04d %08x %s\n"),
                record.HandleOpen == 1 ? WSTR("*") : WSTR(" "), static_cast<int>(index + 1),
                record.ParentID, record.ProcessID,
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(record.Handle)),
                static_cast<int>(record.SubProcessNo), record.ExitCode, name);
}

void PrintRule() {
  WCHAR rule[81];
  for (int i = 0; i < 79; ++i) rule[i] = u'-';
  rule[79] = u'\n';
  rule[80] = 0;
  ConsolePrintW(WSTR("%s"), rule);
}

}  // namespace

void ClearScreen(void) {
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  COORD origin = {0, 0};
  DWORD written = 0;
  FillConsoleOutputAttribute(console, 7, 2000, origin, &written);
  FillConsoleOutputCharacterW(console, u' ', 2000, origin, &written);
  SetConsoleCursorPosition(console, origin);
}

void DumpProcessList(void) {
  const std::uint64_t first = static_cast<std::uint64_t>(DumpNumber) * CurrentPage;
  ClearScreen();
  ShowTitle();
  ConsolePrintW(WSTR("\n No | Parent | Own ID | Handle | SN | Exit_C |    FileName\n"));
  PrintRule();
  const std::uint64_t last = RecordCount > first + DumpNumber ? first + DumpNumber : RecordCount;
  for (std::uint64_t i = first; i < last; ++i) PrintRow(static_cast<DWORD>(i));
  if (RecordCount >= 2)
    ConsolePrintW(WSTR("Total recorded processes=%-04d\n"), static_cast<int>(RecordCount));
}

bool CheckKeyboard(void) {
  if (!KeyPressPending()) return true;
  const int key = ReadKeyCode();
  if (key == 0x1B) return false;
  if (key == 0x09) {
    CurrentPage = CurrentPage < HighestPage() ? CurrentPage + 1 : 0;
    DumpProcessList();
    return true;
  }
  if (key == 0xE0 || key == 0xE1) {
    const int second = ReadKeyCode();
    if (key != 0xE0) return true;
    if (second == 0x49 && CurrentPage > 0) {
      --CurrentPage;
      DumpProcessList();
    } else if (second == 0x51 && CurrentPage < HighestPage()) {
      ++CurrentPage;
      DumpProcessList();
    }
  }
  return true;
}

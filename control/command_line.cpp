#include "control/command_line.h"

#include <cstdint>
#include <cstdio>

#include "control/exit.h"
#include "control/settings.h"
#include "control/version.h"
#include "platform/console_services.h"
#include "platform/wide_text.h"

namespace {

bool Is(const WCHAR* word, const WCHAR* option) {
  return WideEqualsIgnoringAsciiCase(word, option);
}

struct ValueOption {
  const WCHAR* name;
  DWORD* setting;
  const WCHAR* emptyMessage;
};

const ValueOption* FindValueOption(const WCHAR* word) {
  static const ValueOption options[] = {
      {WSTR("-ct"), &CheckTimer, WSTR("check timer is empty!\n")},
      {WSTR("-dn"), &DumpNumber, WSTR("dump process number is empty!\n")},
      {WSTR("-dt"), &DumpTimer, WSTR("dump timer is empty!\n")},
  };
  for (const ValueOption& option : options)
    if (Is(word, option.name)) return &option;
  return nullptr;
}

[[noreturn]] void RefuseWord(const WCHAR* word) {
  ConsolePrintW(WSTR("Unknown parameter: %s\n"), word);
  ShowUsage();
}

bool IsSpace(WCHAR c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

int DigitValue(WCHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return 99;
}

// strtoul with a 32-bit unsigned long, as the Windows C library has it.
DWORD ConvertInBase(const WCHAR* text, int base) {
  const WCHAR* p = text;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == u'+' || *p == u'-') negative = *p++ == u'-';
  if (base == 16 && p[0] == u'0' && (p[1] == u'x' || p[1] == u'X') && DigitValue(p[2]) < 16) p += 2;
  std::uint64_t value = 0;
  bool overflow = false;
  for (; DigitValue(*p) < base; ++p) {
    value = value * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(*p));
    if (value > 0xFFFFFFFFu) {
      overflow = true;
      value = 0xFFFFFFFFu;
    }
  }
  if (overflow) return 0xFFFFFFFFu;
  DWORD result = static_cast<DWORD>(value);
  return negative ? 0u - result : result;
}

}  // namespace

void ShowTitle(void) {
  char title[260];
  std::snprintf(title, sizeof(title), " Tolvane Utility, Rev: %s\r\n", TOLVANE_VERSION);
  ConsolePrintA("%s", title);
  char rule[80];
  for (int i = 0; i < 79; ++i) rule[i] = '=';
  rule[79] = 0;
  ConsolePrintA("%s", rule);
}

void ShowUsage(void) {
  ConsolePrintA("\nTolvane.EXE <-Sw1> <...> [/Command1] [...] ... <Parameter1> <...> ...\n");
  ConsolePrintA("  /? : This help screen.\n");
  ConsolePrintA("  -CT <n> : Set check timer, <n> seconds, n must > 0. (default=1)\n");
  ConsolePrintA("  -DT <n> : Set dump timer, <n> seconds, n must > 0. (default=5)\n");
  ConsolePrintA("  -DN <n> : Set dump process number/pre-Page, n must > 0. (default=20)\n");
  ConsolePrintA("  -ST <n> : Set save file timer, <n> seconds, n must > 0. (default=60)\n");
  ConsolePrintA("Return Code : OK(0), ERROR(255)\n");
  ConsolePrintA("Exp:\n");
  ConsolePrintA(
      "  start /realtime Tolvane -> Start Tolvane and check all process in every 5 seconds.\n");
  ConsolePrintA(
      "  start /realtime Tolvane /ct 10 -> Start Tolvane and check all process in every 10 "
      "seconds.\n");
  ExitWithCode(255);
}

DWORD ConvertOptionValue(const WCHAR* text) {
  const bool hex = text[0] != 0 && (text[1] == u'x' || text[1] == u'X');
  return ConvertInBase(text, hex ? 16 : 10);
}

void ParseCommandLine(int argc, WCHAR** argv) {
  for (int i = 1; i < argc; ++i) {
    const WCHAR* word = argv[i];
    if (Is(word, WSTR("-d"))) {
      blDebug = TRUE;
    } else if (const ValueOption* option = FindValueOption(word)) {
      // The next word is the value, whatever it looks like.
      const WCHAR* value = argv[++i];
      if (value == nullptr) {
        ConsolePrintW(option->emptyMessage);
        ShowUsage();
      }
      *option->setting = ConvertOptionValue(value);
    } else if (word[0] == u'-') {
      RefuseWord(word);
    }
  }
  for (int i = 1; i < argc; ++i) {
    const WCHAR* word = argv[i];
    if (Is(word, WSTR("/?")) || Is(word, WSTR("/h")) || Is(word, WSTR("/help"))) ShowUsage();
    if (word[0] == u'/') RefuseWord(word);
    if (FindValueOption(word) != nullptr) {
      ++i;
    } else if (word[0] != u'-') {
      if (Is(word, WSTR("?"))) ShowUsage();
      RefuseWord(word);
    }
  }
}

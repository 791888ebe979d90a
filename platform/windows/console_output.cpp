#include <cstdio>

#include "platform/console_services.h"
#include "platform/wide_text.h"

namespace {

// Longer text is cut.
constexpr std::size_t OutputUnits = 2048;
// The most bytes one UTF-16 unit takes in any code page (GB18030).
constexpr std::size_t BytesPerUnit = 4;

// Both kinds of text go through the C runtime's stdout in text mode, as a
// Windows console program prints, and are flushed at once so that they
// keep their order with anything else written to the same handle.
void WriteOut(const char* bytes, std::size_t count) {
  std::fwrite(bytes, 1, count, stdout);
  std::fflush(stdout);
}

UINT OutputCodePage() {
  const UINT console = GetConsoleOutputCP();
  return console != 0 ? console : CP_ACP;
}

}  // namespace

void ConsolePrintA(const char* format, ...) {
  char text[OutputUnits];
  va_list arguments;
  va_start(arguments, format);
  const int needed = std::vsnprintf(text, sizeof(text), format, arguments);
  va_end(arguments);
  if (needed <= 0) return;
  const std::size_t length = static_cast<std::size_t>(needed);
  WriteOut(text, length < sizeof(text) ? length : sizeof(text) - 1);
}

void ConsolePrintW(const WCHAR* format, ...) {
  WCHAR text[OutputUnits];
  va_list arguments;
  va_start(arguments, format);
  const std::size_t units = FormatTextListW(text, OutputUnits, format, arguments);
  va_end(arguments);
  if (units == 0) return;
  char bytes[OutputUnits * BytesPerUnit];
  const int count = WideCharToMultiByte(OutputCodePage(), 0, text, static_cast<int>(units), bytes,
                                        static_cast<int>(sizeof(bytes)), nullptr, nullptr);
  if (count > 0) WriteOut(bytes, static_cast<std::size_t>(count));
}

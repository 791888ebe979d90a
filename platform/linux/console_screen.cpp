// The console buffer operations as VT sequences on a terminal, on a model
// of the Windows console's 80-column buffer. When standard output is not a
// terminal they write nothing, so redirected output stays plain text.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/console_services.h"
#include "platform/linux/console_output.h"
#include "platform/wide_text.h"

namespace {

constexpr int consoleColumns = 80;

bool IsConsoleOutput(HANDLE console) {
  int descriptor = StandardHandleDescriptor(console);
  if (descriptor != 1 && descriptor != 2) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return true;
}

bool OutputIsTerminal(void) { return isatty(STDOUT_FILENO) == 1; }

void AppendCursorMove(std::string& out, int row, int column) {
  char move[32];
  std::snprintf(move, sizeof move, "\x1b[%d;%dH", row + 1, column + 1);
  out += move;
}

// Console colour bits (blue 1, green 2, red 4, intensity 8; background the
// same, shifted by 4) as SGR parameters; the ANSI order is red 1, blue 4.
void AppendAttribute(std::string& out, WORD attribute) {
  if (attribute == 7) {
    out += "\x1b[0m";  // grey on black: the terminal's own colours
    return;
  }
  auto ansi = [](unsigned bits) { return (bits & 2) | ((bits & 1) << 2) | ((bits & 4) >> 2); };
  char sgr[32];
  unsigned foreground = attribute & 0x0F, background = (attribute >> 4) & 0x0F;
  std::snprintf(sgr, sizeof sgr, "\x1b[0;%u;%um", (foreground & 8 ? 90 : 30) + ansi(foreground),
                (background & 8 ? 100 : 40) + ansi(background));
  out += sgr;
}

bool ValidCell(COORD cell) { return cell.X >= 0 && cell.Y >= 0 && cell.X < consoleColumns; }

// The checks both fills make of their console and first cell.
bool CanFill(HANDLE console, COORD first) {
  if (!IsConsoleOutput(console)) return false;
  if (!ValidCell(first)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}

}  // namespace

BOOL FillConsoleOutputAttribute(HANDLE console, WORD attribute, DWORD length, COORD first,
                                DWORD* written) {
  if (!CanFill(console, first)) return FALSE;
  if (OutputIsTerminal()) {
    std::string out;
    AppendAttribute(out, attribute);
    WriteConsoleBytes(out.data(), out.size());
  }
  if (written != nullptr) *written = length;
  return TRUE;
}

BOOL FillConsoleOutputCharacterW(HANDLE console, WCHAR character, DWORD length, COORD first,
                                 DWORD* written) {
  if (!CanFill(console, first)) return FALSE;
  if (OutputIsTerminal()) {
    WCHAR text[2] = {character < 0x20 || character == 0x7F ? u'?' : character, 0};
    char glyph[8];
    Utf16ToUtf8(text, glyph, sizeof glyph);
    const std::size_t glyphLength = std::strlen(glyph);
    // The console leaves its cursor where it was: save it, fill row by row,
    // and restore it.
    std::string out =
        "\x1b"
        "7";
    int row = first.Y, column = first.X;
    for (DWORD left = length; left > 0; ++row, column = 0) {
      DWORD cells = static_cast<DWORD>(consoleColumns - column);
      if (cells > left) cells = left;
      AppendCursorMove(out, row, column);
      if (character == u' ' && column + static_cast<int>(cells) == consoleColumns) {
        out += "\x1b[K";  // blank to the end of the row, wider terminals included
      } else {
        for (DWORD i = 0; i < cells; ++i) out.append(glyph, glyphLength);
      }
      left -= cells;
    }
    out +=
        "\x1b"
        "8";
    WriteConsoleBytes(out.data(), out.size());
  }
  if (written != nullptr) *written = length;
  return TRUE;
}

BOOL SetConsoleCursorPosition(HANDLE console, COORD position) {
  if (!IsConsoleOutput(console)) return FALSE;
  if (!ValidCell(position)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (OutputIsTerminal()) {
    std::string out;
    AppendCursorMove(out, position.Y, position.X);
    WriteConsoleBytes(out.data(), out.size());
  }
  return TRUE;
}

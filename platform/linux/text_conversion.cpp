// WideCharToMultiByte for the "ANSI code page", which here is UTF-8: the
// program never changes the locale, and UTF-8 is what terminals and files
// on this system expect.
#include "platform/console_services.h"
#include "platform/wide_text.h"

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR wide, int wideCount, LPSTR narrow,
                        int narrowSize, LPCSTR, BOOL* usedDefault) {
  // Only terminated text (a count of -1) is asked for by the program.
  if ((codePage != CP_ACP && codePage != CP_UTF8) || wide == nullptr || wideCount != -1 ||
      narrowSize < 0 || (narrowSize > 0 && narrow == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefault != nullptr) *usedDefault = FALSE;              // UTF-8 represents every character
  const std::size_t needed = Utf16ToUtf8(wide, nullptr, 0) + 1;  // the terminator counts
  if (narrowSize == 0) return static_cast<int>(needed);
  if (static_cast<std::size_t>(narrowSize) < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  Utf16ToUtf8(wide, narrow, needed);
  return static_cast<int>(needed);
}

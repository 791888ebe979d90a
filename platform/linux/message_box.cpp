// A message box away from a desktop: the text on standard error, where the
// console view does not overwrite it, dismissed at once.
#include <cstdlib>

#include "platform/console_services.h"
#include "platform/linux/console_output.h"
#include "platform/wide_text.h"

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR, UINT) {
  if (text != nullptr) {
    std::size_t needed = Utf16ToUtf8(text, nullptr, 0);
    char* narrow = static_cast<char*>(std::malloc(needed + 2));
    if (narrow != nullptr) {
      Utf16ToUtf8(text, narrow, needed + 1);
      narrow[needed] = '\n';
      WriteErrorBytes(narrow, needed + 1);
      std::free(narrow);
    }
  }
  return 1;  // IDOK
}

#include "platform/linux/display_names.h"

#include "platform/wide_text.h"

void SystemTextToDisplayName(const char* text, WCHAR* name, std::size_t size) {
  Utf8ToUtf16(text, name, size);
  for (WCHAR* unit = name; *unit != 0; ++unit)
    if (*unit < 0x20 || (*unit >= 0x7F && *unit <= 0x9F)) *unit = u'?';
}

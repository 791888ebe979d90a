#include "presentation/display_text.h"

namespace {

bool IsControl(WCHAR c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

}  // namespace

void CopyForDisplay(WCHAR* out, std::size_t size, const WCHAR* text) {
  if (size == 0) return;
  std::size_t i = 0;
  for (; i + 1 < size && text[i] != 0; ++i) out[i] = IsControl(text[i]) ? u'?' : text[i];
  out[i] = 0;
}

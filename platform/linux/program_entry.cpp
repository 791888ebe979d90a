// The Linux program's main: the words of the command line as UTF-16, as the
// program reads them on every target.
#include <cstdlib>

#include "control/program.h"
#include "platform/wide_text.h"

int main(int argc, char** argv) {
  WCHAR** words =
      static_cast<WCHAR**>(std::calloc(static_cast<std::size_t>(argc) + 1, sizeof(WCHAR*)));
  if (words == nullptr) return 255;
  for (int i = 0; i < argc; ++i) {
    std::size_t units = Utf8ToUtf16(argv[i], nullptr, 0) + 1;
    words[i] = static_cast<WCHAR*>(std::malloc(units * sizeof(WCHAR)));
    if (words[i] == nullptr) return 255;
    Utf8ToUtf16(argv[i], words[i], units);
  }
  words[argc] = nullptr;
  TolvaneMain(argc, words);
}

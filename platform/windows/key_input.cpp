#include "platform/windows/key_input.h"

#include "platform/console_services.h"
#include "platform/windows/key_queue.h"

namespace {

bool SourceKnown = false;
KeySource Source = KeySource::None;
HANDLE Input = nullptr;

void FindKeySource() {
  if (SourceKnown) return;
  SourceKnown = true;
  Input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (Input == nullptr || Input == INVALID_HANDLE_VALUE)
    Source = KeySource::None;
  else if (GetConsoleMode(Input, &mode))
    Source = KeySource::Console;
  else if (GetFileType(Input) == FILE_TYPE_PIPE)
    Source = KeySource::Pipe;
  else if (GetFileType(Input) == FILE_TYPE_UNKNOWN)
    Source = KeySource::None;
  else
    Source = KeySource::File;
}

}  // namespace

KeySource CurrentKeySource(void) {
  FindKeySource();
  return Source;
}

const char* KeySourceDescription(KeySource source) {
  switch (source) {
    case KeySource::Console:
      return "console input events";
    case KeySource::Pipe:
      return "bytes of the standard input pipe";
    case KeySource::File:
      return "bytes of the standard input file";
    default:
      return "none";
  }
}

BOOL KeyPressPending(void) {
  switch (CurrentKeySource()) {
    case KeySource::Console:
      FetchConsoleKeys(Input);
      break;
    case KeySource::Pipe:
    case KeySource::File:
      FetchStreamKeys(Input, Source == KeySource::Pipe);
      break;
    default:
      break;
  }
  return KeyQueueEmpty() ? FALSE : TRUE;
}

int ReadKeyCode(void) {
  // Polled rather than blocked on, so that one wait serves every source;
  // the second code of a two-code key is already queued.
  while (!KeyPressPending()) Sleep(10);
  return KeyQueuePop();
}

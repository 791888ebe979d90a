#include "platform/windows/key_input.h"
#include "platform/windows/key_queue.h"

namespace {

// Set once the writer has gone or the file is read through: from then on
// no key is ever pending.
bool StreamEnded = false;

}  // namespace

void FetchStreamKeys(HANDLE input, bool isPipe) {
  if (StreamEnded || !KeyQueueEmpty()) return;
  if (isPipe) {
    // A read would block until the writer sends something.
    DWORD available = 0;
    if (!PeekNamedPipe(input, nullptr, 0, nullptr, &available, nullptr)) {
      StreamEnded = true;
      return;
    }
    if (available == 0) return;
  }
  BYTE byte = 0;
  DWORD read = 0;
  if (!ReadFile(input, &byte, 1, &read, nullptr) || read == 0) {
    StreamEnded = true;
    return;
  }
  KeyQueuePush(byte);
}

#include "platform/windows/key_queue.h"

namespace {

// Only the main thread reads keys, so the queue needs no lock.
int Codes[KeyQueueCapacity];
int Head = 0;
int Count = 0;

}  // namespace

bool KeyQueueEmpty(void) { return Count == 0; }

int KeyQueueRoom(void) { return KeyQueueCapacity - Count; }

void KeyQueuePush(int code) {
  if (Count == KeyQueueCapacity) return;
  Codes[(Head + Count) % KeyQueueCapacity] = code;
  ++Count;
}

int KeyQueuePop(void) {
  if (Count == 0) return -1;
  const int code = Codes[Head];
  Head = (Head + 1) % KeyQueueCapacity;
  --Count;
  return code;
}

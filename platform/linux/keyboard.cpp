// Key codes from standard input. From a terminal, key presses are
// translated as the Windows console reports them; from a pipe or a file,
// each byte is a key. At the end of input no key is ever pending.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/console_services.h"
#include "platform/linux/key_translation.h"
#include "platform/linux/terminal.h"

namespace {

// How long the rest of an escape sequence may take to follow its Esc.
constexpr int escapeWaitMilliseconds = 50;

constexpr std::size_t queueCapacity = 64;

int inputIsTerminal = -1;  // -1: not looked at yet
bool inputEnded = false;
unsigned char pendingBytes[64];  // an escape sequence still being received
std::size_t pendingCount = 0;
int queuedCodes[queueCapacity];
std::size_t queueStart = 0;
std::size_t queueCount = 0;

bool FromTerminal(void) {
  if (inputIsTerminal < 0) inputIsTerminal = isatty(STDIN_FILENO) == 1 ? 1 : 0;
  return inputIsTerminal == 1;
}

void Queue(int code) {
  queuedCodes[(queueStart + queueCount) % queueCapacity] = code;
  ++queueCount;
}

enum ReadResult { READ_BYTES, READ_NOTHING, READ_END };

// Reads what fits from standard input, waiting up to the given time.
ReadResult ReadInput(int milliseconds, unsigned char* into, std::size_t room, std::size_t* got) {
  *got = 0;
  pollfd ready{STDIN_FILENO, POLLIN, 0};
  int waited = poll(&ready, 1, milliseconds);
  if (waited <= 0) return READ_NOTHING;  // nothing yet, or interrupted
  if ((ready.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) == 0) return READ_NOTHING;
  ssize_t length = read(STDIN_FILENO, into, room);
  if (length > 0) {
    *got = static_cast<std::size_t>(length);
    return READ_BYTES;
  }
  if (length < 0 && (errno == EINTR || errno == EAGAIN)) return READ_NOTHING;
  return READ_END;  // end of file, or a terminal hung up
}

void TranslatePending(bool complete) {
  std::size_t produced;
  int codes[queueCapacity];
  std::size_t used = TranslateKeyBytes(pendingBytes, pendingCount, complete, codes,
                                       queueCapacity - queueCount, &produced);
  for (std::size_t i = 0; i < produced; ++i) Queue(codes[i]);
  std::memmove(pendingBytes, pendingBytes + used, pendingCount - used);
  pendingCount -= used;
}

// Fills the queue from the input: waiting for a key when wait is set, else
// only taking what has arrived (and what completes an escape sequence).
void CollectKeys(bool wait) {
  while (queueCount == 0) {
    const bool terminal = FromTerminal();
    if (terminal && !InForeground()) return;  // a background job's keys are not its own
    if (terminal) KeepKeyMode();
    const bool escapeStarted = terminal && pendingCount > 0;
    if (inputEnded) {
      if (escapeStarted) TranslatePending(true);
      return;
    }
    const int timeout = escapeStarted ? escapeWaitMilliseconds : (wait ? -1 : 0);
    std::size_t got;
    ReadResult result;
    if (terminal && pendingCount == sizeof pendingBytes) {
      TranslatePending(true);  // longer than any key's sequence: drop it
      continue;
    }
    if (terminal) {
      result =
          ReadInput(timeout, pendingBytes + pendingCount, sizeof pendingBytes - pendingCount, &got);
      pendingCount += got;
    } else {
      unsigned char bytes[queueCapacity];
      result = ReadInput(timeout, bytes, queueCapacity - queueCount, &got);
      for (std::size_t i = 0; i < got; ++i) Queue(bytes[i]);
    }
    if (result == READ_END) inputEnded = true;
    if (terminal) TranslatePending(result != READ_BYTES && escapeStarted);
    if (result == READ_NOTHING && !escapeStarted && !wait) return;
  }
}

}  // namespace

BOOL KeyPressPending(void) {
  CollectKeys(false);
  return queueCount > 0 ? TRUE : FALSE;
}

int ReadKeyCode(void) {
  CollectKeys(true);
  if (queueCount == 0) return 0;  // end of input: nothing will ever come
  int code = queuedCodes[queueStart];
  queueStart = (queueStart + 1) % queueCapacity;
  --queueCount;
  return code;
}

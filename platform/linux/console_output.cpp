#include "platform/linux/console_output.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/console_services.h"
#include "platform/wide_text.h"

namespace {

// Stand-ins for descriptors 0, 1 and 2, below the first table handle.
const std::uintptr_t standardHandleValues[] = {0x04, 0x08, 0x0C};

std::mutex consoleLock;  // keeps one print's bytes together

}  // namespace

bool WriteAll(int descriptor, const void* bytes, std::size_t count, std::size_t* written) {
  const char* next = static_cast<const char*>(bytes);
  std::size_t done = 0;
  bool complete = true;
  while (done < count) {
    ssize_t result = write(descriptor, next + done, count - done);
    if (result > 0) {
      done += static_cast<std::size_t>(result);
      continue;
    }
    if (result < 0 && errno == EINTR) continue;
    if (result < 0 && errno == EAGAIN) {
      pollfd ready{descriptor, POLLOUT, 0};
      poll(&ready, 1, -1);
      continue;
    }
    if (result == 0) errno = EIO;
    complete = false;
    break;
  }
  if (written != nullptr) *written = done;
  return complete;
}

void WriteConsoleBytes(const char* bytes, std::size_t count) {
  std::lock_guard<std::mutex> hold(consoleLock);
  WriteAll(STDOUT_FILENO, bytes, count, nullptr);
}

void WriteErrorBytes(const char* bytes, std::size_t count) {
  WriteAll(STDERR_FILENO, bytes, count, nullptr);
}

bool IsStandardHandle(HANDLE handle) { return StandardHandleDescriptor(handle) >= 0; }

int StandardHandleDescriptor(HANDLE handle) {
  std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
  for (int descriptor = 0; descriptor < 3; ++descriptor)
    if (standardHandleValues[descriptor] == value) return descriptor;
  return -1;
}

HANDLE GetStdHandle(DWORD which) {
  int descriptor = which == STD_INPUT_HANDLE    ? 0
                   : which == STD_OUTPUT_HANDLE ? 1
                   : which == STD_ERROR_HANDLE  ? 2
                                                : -1;
  if (descriptor < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_HANDLE_VALUE;
  }
  return reinterpret_cast<HANDLE>(standardHandleValues[descriptor]);
}

void ConsolePrintA(const char* format, ...) {
  char local[1024];
  va_list arguments;
  va_start(arguments, format);
  int length = std::vsnprintf(local, sizeof local, format, arguments);
  va_end(arguments);
  if (length < 0) return;
  if (static_cast<std::size_t>(length) < sizeof local) {
    WriteConsoleBytes(local, static_cast<std::size_t>(length));
    return;
  }
  char* large = static_cast<char*>(std::malloc(static_cast<std::size_t>(length) + 1));
  if (large == nullptr) return;
  va_start(arguments, format);
  std::vsnprintf(large, static_cast<std::size_t>(length) + 1, format, arguments);
  va_end(arguments);
  WriteConsoleBytes(large, static_cast<std::size_t>(length));
  std::free(large);
}

void ConsolePrintW(const WCHAR* format, ...) {
  // Most prints are one table row; a longer one is formatted again into a
  // larger buffer (the formatter only tells that it had to cut).
  WCHAR local[1024];
  WCHAR* wide = local;
  std::size_t size = sizeof local / sizeof local[0];
  std::size_t length;
  for (;;) {
    va_list arguments;
    va_start(arguments, format);
    length = FormatTextListW(wide, size, format, arguments);
    va_end(arguments);
    if (length + 1 < size || size >= (1u << 22)) break;
    if (wide != local) std::free(wide);
    size *= 4;
    wide = static_cast<WCHAR*>(std::malloc(size * sizeof(WCHAR)));
    if (wide == nullptr) return;
  }
  char narrowLocal[3 * 1024 + 1];
  std::size_t needed = Utf16ToUtf8(wide, nullptr, 0);
  char* narrow =
      needed < sizeof narrowLocal ? narrowLocal : static_cast<char*>(std::malloc(needed + 1));
  if (narrow != nullptr) {
    Utf16ToUtf8(wide, narrow, needed + 1);
    WriteConsoleBytes(narrow, needed);
    if (narrow != narrowLocal) std::free(narrow);
  }
  if (wide != local) std::free(wide);
}

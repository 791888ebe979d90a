#include "platform/linux/proc_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

bool ParseNumber(const char* field, const char* end, std::uint64_t* value) {
  std::uint64_t number = 0;
  const char* p = field;
  if (p < end && *p == '-') return false;
  for (; p < end && *p >= '0' && *p <= '9'; ++p)
    number = number * 10 + static_cast<std::uint64_t>(*p - '0');
  if (p == field) return false;
  *value = number;
  return true;
}

void ProcFileName(char* name, std::size_t size, DWORD pid, const char* file) {
  if (pid == 0)
    std::snprintf(name, size, "self/%s", file);
  else
    std::snprintf(name, size, "%u/%s", static_cast<unsigned>(pid), file);
}

int OpenAtProc(int procFolder, const char* relative) {
  if (procFolder != AT_FDCWD) return openat(procFolder, relative, O_RDONLY | O_CLOEXEC);
  char full[64];
  std::snprintf(full, sizeof full, "/proc/%s", relative);
  return open(full, O_RDONLY | O_CLOEXEC);
}

}  // namespace

bool ParseProcStat(const char* text, std::size_t length, ProcStat* stat) {
  const char* end = text + length;
  const char* open = static_cast<const char*>(std::memchr(text, '(', length));
  const char* close = nullptr;
  for (const char* p = end; p > text; --p)
    if (p[-1] == ')') {
      close = p - 1;
      break;
    }
  if (open == nullptr || close == nullptr || close < open) {
    errno = EINVAL;
    return false;
  }
  std::size_t nameLength = static_cast<std::size_t>(close - open - 1);
  if (nameLength >= sizeof stat->name) nameLength = sizeof stat->name - 1;
  std::memcpy(stat->name, open + 1, nameLength);
  stat->name[nameLength] = 0;

  // Fields counted as proc(5) counts them: (1) pid, (2) comm, then from (3).
  std::uint64_t parent = 0, threads = 0, user = 0, kernel = 0, start = 0;
  int field = 2;
  bool parsed = true;
  for (const char* p = close + 1; p < end && field < 22;) {
    while (p < end && *p == ' ') ++p;
    if (p >= end) break;
    const char* token = p;
    while (p < end && *p != ' ' && *p != '\n') ++p;
    ++field;
    switch (field) {
      case 3:  // (3) state
        stat->state = *token;
        break;
      case 4:  // (4) ppid
        parsed = parsed && ParseNumber(token, p, &parent);
        break;
      case 14:  // (14) utime, in clock ticks
        parsed = parsed && ParseNumber(token, p, &user);
        break;
      case 15:  // (15) stime, in clock ticks
        parsed = parsed && ParseNumber(token, p, &kernel);
        break;
      case 20:  // (20) num_threads
        parsed = parsed && ParseNumber(token, p, &threads);
        break;
      case 22:  // (22) starttime, in clock ticks since boot
        parsed = parsed && ParseNumber(token, p, &start);
        break;
      default:
        break;
    }
    if (p < end && *p == '\n') break;
  }
  if (!parsed || field < 22) {
    errno = EINVAL;
    return false;
  }
  stat->parentPid = static_cast<DWORD>(parent);
  stat->threadCount = static_cast<DWORD>(threads);
  stat->userTicks = user;
  stat->kernelTicks = kernel;
  stat->startTicks = start;
  return true;
}

bool ReadProcStat(int procFolder, DWORD pid, ProcStat* stat) {
  char name[32];
  ProcFileName(name, sizeof name, pid, "stat");
  int file = OpenAtProc(procFolder, name);
  if (file < 0) return false;
  // The line is a few hundred bytes; a command name is at most 64.
  char text[1024];
  ssize_t length;
  do {
    length = read(file, text, sizeof text);
  } while (length < 0 && errno == EINTR);
  int readError = errno;
  close(file);
  if (length <= 0) {
    errno = length < 0 ? readError : ESRCH;  // an empty file: the process is gone
    return false;
  }
  return ParseProcStat(text, static_cast<std::size_t>(length), stat);
}

long ReadExecutablePath(int procFolder, DWORD pid, char* path, std::size_t size) {
  char name[32];
  ProcFileName(name, sizeof name, pid, "exe");
  ssize_t length;
  if (procFolder != AT_FDCWD) {
    length = readlinkat(procFolder, name, path, size - 1);
  } else {
    char full[64];
    std::snprintf(full, sizeof full, "/proc/%s", name);
    length = readlink(full, path, size - 1);
  }
  if (length < 0) return -1;
  path[length] = 0;
  static const char deletedMark[] = " (deleted)";
  const std::size_t markLength = sizeof deletedMark - 1;
  if (static_cast<std::size_t>(length) > markLength &&
      std::memcmp(path + length - markLength, deletedMark, markLength) == 0) {
    length -= static_cast<ssize_t>(markLength);
    path[length] = 0;
  }
  return static_cast<long>(length);
}

const char* PathBaseName(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash != nullptr ? slash + 1 : path;
}

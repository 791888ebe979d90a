// Reading one process's files under /proc: the stat line (parsed in place
// from a fixed buffer) and the link to its executable.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/base_types.h"

struct ProcStat {
  DWORD parentPid;
  DWORD threadCount;
  std::uint64_t userTicks;
  std::uint64_t kernelTicks;
  std::uint64_t startTicks;  // since boot
  char state;
  char name[64];  // the kernel's command name, cut to fit
};

// procFolder: a descriptor of /proc, or AT_FDCWD to name /proc in full.
// False with errno set when the file cannot be read or parsed (EINVAL).
bool ReadProcStat(int procFolder, DWORD pid, ProcStat* stat);

// The stat line's text: "pid (comm) state ppid ...". The command name may
// hold spaces and parentheses, so the fields start after the last ')'.
bool ParseProcStat(const char* text, std::size_t length, ProcStat* stat);

// The target of /proc/<pid>/exe (pid 0: the calling process), without the
// " (deleted)" mark of a removed file. Returns its length, or -1 with errno.
long ReadExecutablePath(int procFolder, DWORD pid, char* path, std::size_t size);

// The file name part of a path.
const char* PathBaseName(const char* path);

// What a process handle holds: the pidfd that names the process for as long
// as the handle lives (a reused PID cannot take its place), and the last
// values read about it, which stay readable after the process is gone.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/base_types.h"

enum ExitCodeState {
  EXIT_CODE_PENDING,  // running, or ended but no source has the code yet
  EXIT_CODE_KNOWN,
  EXIT_CODE_UNKNOWABLE,  // ended, and no source will ever have it
};

struct ProcessObject {
  DWORD pid;
  int pidfd;
  std::mutex lock;  // guards everything below
  bool started;     // startTicks and the CPU times have been read
  std::uint64_t startTicks;
  std::uint64_t userTicks;
  std::uint64_t kernelTicks;
  bool ended;
  std::uint64_t exitFileTime;
  ExitCodeState exitState;
  DWORD exitCode;
};

// Resolves exitState (and exitCode, and a more exact exitFileTime where
// the source knows one) for an ended process; call with the lock held.
void ResolveExitCode(ProcessObject* process);

// A wait status as the kernel reports it, as an exit code: the status of a
// normal exit (0..255), or 128+N for a death by signal N, as shells report it.
DWORD ExitCodeFromWaitStatus(int status);

// Process handles over pidfds: waits, exit codes and times.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <memory>

#include "platform/linux/clock.h"
#include "platform/linux/compat.h"
#include "platform/linux/errors.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/proc_files.h"
#include "platform/linux/process_object.h"
#include "platform/linux/process_pass.h"
#include "platform/linux/process_waits.h"
#include "platform/process_services.h"

namespace {

void ReleaseProcessObject(void* object) {
  ProcessObject* process = static_cast<ProcessObject*>(object);
  close(process->pidfd);
  delete process;
}

// The pidfd turns readable when the process has ended, and stays so.
// Returns 1 readable, 0 not within the time, -1 on failure.
int AwaitPidfd(int pidfd, int milliseconds) {
  pollfd ready{pidfd, POLLIN, 0};
  int result;
  do {
    result = poll(&ready, 1, milliseconds);
  } while (result < 0 && errno == EINTR && milliseconds == 0);
  if (result < 0) return errno == EINTR ? 0 : -1;
  return result > 0 ? 1 : 0;
}

// Takes in the process's /proc values when they are still its own: the PID
// may have been reaped and reused, which a different start time shows.
bool RefreshFromProc(ProcessObject* process) {
  ProcStat stat;
  if (!ReadProcStat(AT_FDCWD, process->pid, &stat)) return false;
  if (process->started && stat.startTicks != process->startTicks) return false;
  process->started = true;
  process->startTicks = stat.startTicks;
  process->userTicks = stat.userTicks;
  process->kernelTicks = stat.kernelTicks;
  return true;
}

// While the scan's pass may still be used, a running process's CPU times
// come from it, read moments ago, instead of from one more read of its stat
// file; the start time tells that the entry is this process.
bool RefreshFromPass(ProcessObject* process) {
  if (!process->started) return false;
  std::shared_ptr<const ProcessPass> pass = ReusablePass();
  if (pass == nullptr) return false;
  const PassEntry* entry = FindPassEntry(*pass, process->pid);
  if (entry == nullptr || entry->startTicks != process->startTicks) return false;
  // A read made after the pass may already hold later values.
  if (entry->userTicks > process->userTicks) process->userTicks = entry->userTicks;
  if (entry->kernelTicks > process->kernelTicks) process->kernelTicks = entry->kernelTicks;
  return true;
}

// With the lock held, once the pidfd was seen readable. A zombie's stat
// still holds its final CPU times; read them while they are there.
void NoteEnded(ProcessObject* process) {
  if (process->ended) return;
  process->ended = true;
  process->exitFileTime = CurrentFileTime();
  RefreshFromProc(process);
}

// With the lock held: brings ended up to date without waiting.
void CheckEnded(ProcessObject* process) {
  if (!process->ended && AwaitPidfd(process->pidfd, 0) == 1) NoteEnded(process);
}

std::uint64_t SteadyMilliseconds(void) { return MonotonicNanoseconds() / 1000000u; }

void PauseMilliseconds(unsigned milliseconds) {
  timespec pause{0, static_cast<long>(milliseconds) * 1000000L};
  nanosleep(&pause, nullptr);
}

}  // namespace

DWORD GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

HANDLE OpenProcess(DWORD, BOOL, DWORD pid) {
  if (pid == 0 || pid > 0x7FFFFFFFu) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int pidfd = PidfdOpen(static_cast<int>(pid));
  if (pidfd < 0) {
    // ESRCH: no such process; EINVAL: a thread's ID, not a process's.
    SetLastError(errno == EPERM || errno == EACCES   ? ERROR_ACCESS_DENIED
                 : errno == ESRCH || errno == EINVAL ? ERROR_INVALID_PARAMETER
                                                     : Win32ErrorFromErrno(errno));
    return nullptr;
  }
  ProcessObject* process = new ProcessObject();
  process->pid = pid;
  process->pidfd = pidfd;
  process->started = false;
  process->ended = false;
  process->exitFileTime = 0;
  process->exitState = EXIT_CODE_PENDING;
  process->exitCode = STILL_ACTIVE;
  RefreshFromProc(process);
  // The stat read is the pidfd's process only if that process still exists
  // afterwards: a PID is not reused before its holder is reaped.
  if (PidfdSendSignal(pidfd, 0) != 0 && errno == ESRCH) {
    ReleaseProcessObject(process);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return AddHandle(HANDLE_KIND_PROCESS, process, ReleaseProcessObject);
}

DWORD WaitForProcessObject(void* object, DWORD milliseconds) {
  ProcessObject* process = static_cast<ProcessObject*>(object);
  const bool forever = milliseconds == INFINITE;
  const std::uint64_t deadline = SteadyMilliseconds() + (forever ? 0 : milliseconds);
  auto remaining = [&]() -> int {
    if (forever) return -1;
    std::uint64_t now = SteadyMilliseconds();
    return now >= deadline ? 0 : static_cast<int>(deadline - now);
  };
  for (;;) {
    int ended = AwaitPidfd(process->pidfd, remaining());
    if (ended < 0) {
      SetLastErrorFromErrno();
      return WAIT_FAILED;
    }
    if (ended == 1) break;
    if (remaining() == 0) return WAIT_TIMEOUT;
  }
  // The process has ended; its code may show up only once its parent has
  // reaped it. Look again with a short backoff for as long as it may come.
  unsigned backoff = 1;
  for (;;) {
    ExitCodeState state;
    {
      std::lock_guard<std::mutex> hold(process->lock);
      NoteEnded(process);
      ResolveExitCode(process);
      state = process->exitState;
    }
    if (state != EXIT_CODE_PENDING) return WAIT_OBJECT_0;
    int left = remaining();
    if (left == 0) return WAIT_TIMEOUT;
    PauseMilliseconds(
        left > 0 && static_cast<unsigned>(left) < backoff ? static_cast<unsigned>(left) : backoff);
    backoff = backoff * 2 > 20 ? 20 : backoff * 2;
  }
}

BOOL GetExitCodeProcess(HANDLE handle, DWORD* exitCode) {
  HandleUse use;
  if (!BeginHandleUse(handle, HANDLE_KIND_PROCESS, &use)) return FALSE;
  ProcessObject* process = static_cast<ProcessObject*>(use.object);
  BOOL known = TRUE;
  {
    std::lock_guard<std::mutex> hold(process->lock);
    CheckEnded(process);
    if (process->ended) ResolveExitCode(process);
    if (!process->ended || process->exitState == EXIT_CODE_PENDING)
      *exitCode = STILL_ACTIVE;  // running, or not reaped yet: the code is still to come
    else if (process->exitState == EXIT_CODE_KNOWN)
      *exitCode = process->exitCode;
    else
      known = FALSE;
  }
  EndHandleUse(&use);
  if (!known) SetLastError(ERROR_ACCESS_DENIED);
  return known;
}

BOOL GetProcessTimes(HANDLE handle, FILETIME* creation, FILETIME* exit, FILETIME* kernel,
                     FILETIME* user) {
  HandleUse use;
  if (!BeginHandleUse(handle, HANDLE_KIND_PROCESS, &use)) return FALSE;
  ProcessObject* process = static_cast<ProcessObject*>(use.object);
  BOOL known;
  {
    std::lock_guard<std::mutex> hold(process->lock);
    CheckEnded(process);
    // A failed read while it runs means it ended in between.
    if (!process->ended && !RefreshFromPass(process) && !RefreshFromProc(process) &&
        AwaitPidfd(process->pidfd, 0) != 0)
      NoteEnded(process);
    known = process->started ? TRUE : FALSE;
    if (known) {
      *creation = SplitFileTime(BootFileTime() + TicksToFileTimeUnits(process->startTicks));
      *exit = SplitFileTime(process->ended ? process->exitFileTime : 0);
      *kernel = SplitFileTime(TicksToFileTimeUnits(process->kernelTicks));
      *user = SplitFileTime(TicksToFileTimeUnits(process->userTicks));
    }
  }
  EndHandleUse(&use);
  if (!known) SetLastError(ERROR_ACCESS_DENIED);
  return known;
}

// Exit codes of processes that are not our children. Two kernel sources:
// the pidfd's exit information (Linux 6.15 on, no privileges; present once
// the parent has reaped the process) and the process connector (root or
// CAP_NET_ADMIN, older kernels). Which one serves is probed at run time.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/linux/clock.h"
#include "platform/linux/compat.h"
#include "platform/linux/exit_connector.h"
#include "platform/linux/process_object.h"

namespace {

constexpr int notChosen = -1;
std::atomic<int> servingSource{notChosen};
std::mutex choiceLock;

// A child that ends at once, reaped by us, tells whether its pidfd then
// still carries the exit status.
bool PidfdInfoCarriesExitCodes(void) {
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) _exit(0);
  int pidfd = PidfdOpen(child);
  int status;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (pidfd < 0) return false;
  PidfdInfo info;
  bool carries =
      PidfdGetInfo(pidfd, PIDFD_INFO_EXIT_BIT, &info) == 0 && (info.mask & PIDFD_INFO_EXIT_BIT);
  close(pidfd);
  return carries;
}

int ProbeSources(void) {
  if (PidfdInfoCarriesExitCodes()) return EXIT_CODE_SOURCE_PIDFD_INFO;
  if (StartExitConnector()) return EXIT_CODE_SOURCE_CONNECTOR;
  return EXIT_CODE_SOURCE_NONE;
}

void ResolveFromPidfdInfo(ProcessObject* process) {
  // The kernel reads the exit information before it looks for the task, so
  // a reap falling between the two gives neither. The information is kept
  // before the task goes, so once it has gone a second look finds it.
  for (int look = 0; look < 2; ++look) {
    PidfdInfo info;
    if (PidfdGetInfo(process->pidfd, PIDFD_INFO_EXIT_BIT, &info) != 0) break;
    if ((info.mask & PIDFD_INFO_EXIT_BIT) != 0) {
      process->exitState = EXIT_CODE_KNOWN;
      process->exitCode = ExitCodeFromWaitStatus(info.exitStatus);
      return;
    }
    // No exit information yet: a zombie its parent has not reaped.
    if (PidfdSendSignal(process->pidfd, 0) == 0 || errno != ESRCH) return;
  }
  process->exitState = EXIT_CODE_UNKNOWABLE;  // reaped, and nothing kept
}

void ResolveFromConnector(ProcessObject* process) {
  int status;
  std::uint64_t exitMonotonic;
  // The kernel sends the exit event before the pidfd turns readable, so
  // an ended process that is not found now never will be.
  if (!process->started || !FindConnectorExit(process->pid, TicksToNanoseconds(process->startTicks),
                                              &status, &exitMonotonic)) {
    process->exitState = EXIT_CODE_UNKNOWABLE;
    return;
  }
  process->exitState = EXIT_CODE_KNOWN;
  process->exitCode = ExitCodeFromWaitStatus(status);
  process->exitFileTime = MonotonicToFileTime(exitMonotonic);
}

}  // namespace

DWORD ExitCodeFromWaitStatus(int status) {
  if (WIFSIGNALED(status)) return 128u + static_cast<DWORD>(WTERMSIG(status));
  return static_cast<DWORD>(WEXITSTATUS(status));
}

void ResolveExitCode(ProcessObject* process) {
  if (process->exitState != EXIT_CODE_PENDING) return;
  switch (ServingExitCodeSource()) {
    case EXIT_CODE_SOURCE_PIDFD_INFO:
      ResolveFromPidfdInfo(process);
      break;
    case EXIT_CODE_SOURCE_CONNECTOR:
      ResolveFromConnector(process);
      break;
    default:
      process->exitState = EXIT_CODE_UNKNOWABLE;
      break;
  }
}

void SelectExitCodeSource(void) { ServingExitCodeSource(); }

int ServingExitCodeSource(void) {
  int source = servingSource.load();
  if (source != notChosen) return source;
  std::lock_guard<std::mutex> hold(choiceLock);
  if (servingSource.load() == notChosen) servingSource.store(ProbeSources());
  return servingSource.load();
}

void ForceExitCodeSource(int which) {
  std::lock_guard<std::mutex> hold(choiceLock);
  switch (which) {
    case EXIT_CODE_SOURCE_PIDFD_INFO:
    case EXIT_CODE_SOURCE_NONE:
      servingSource.store(which);
      break;
    case EXIT_CODE_SOURCE_CONNECTOR:
      servingSource.store(StartExitConnector() ? which : EXIT_CODE_SOURCE_NONE);
      break;
    default:
      servingSource.store(ProbeSources());
      break;
  }
}

const char* ExitCodeSourceName(int source) {
  switch (source) {
    case EXIT_CODE_SOURCE_PIDFD_INFO:
      return "pidfd info";
    case EXIT_CODE_SOURCE_CONNECTOR:
      return "process connector";
    default:
      return "no source";
  }
}

// Thin wrappers over the kernel interfaces the C library here does not
// declare (pidfd_open, pidfd_send_signal, the pidfd information ioctl), and
// the choice of where exit codes come from.
#pragma once

#include <cstdint>

// The kernel's reply to PIDFD_GET_INFO in its first published size. The
// ioctl number carries this size, and the kernel copies no more than asked.
struct PidfdInfo {
  std::uint64_t mask;
  std::uint64_t cgroupId;
  std::uint32_t pid;
  std::uint32_t tgid;
  std::uint32_t ppid;
  std::uint32_t ruid;
  std::uint32_t rgid;
  std::uint32_t euid;
  std::uint32_t egid;
  std::uint32_t suid;
  std::uint32_t sgid;
  std::uint32_t fsuid;
  std::uint32_t fsgid;
  std::int32_t exitStatus;  // a wait status: code << 8, or the signal number
};
static_assert(sizeof(PidfdInfo) == 64, "PIDFD_INFO_SIZE_VER0");

#define PIDFD_INFO_EXIT_BIT (1ull << 3)

// -1 with errno set on failure, as the system calls themselves.
int PidfdOpen(int pid);
int PidfdSendSignal(int pidfd, int signal);
int PidfdGetInfo(int pidfd, std::uint64_t mask, PidfdInfo* info);

// Where exit codes of processes that are not our children come from.
#define EXIT_CODE_SOURCE_AUTOMATIC 0
#define EXIT_CODE_SOURCE_PIDFD_INFO 1
#define EXIT_CODE_SOURCE_CONNECTOR 2
#define EXIT_CODE_SOURCE_NONE 3

// The source in use; chosen by probing on first use unless forced.
int ServingExitCodeSource(void);
const char* ExitCodeSourceName(int source);

// Probes the machine's sources in order and settles on the first that works.
void SelectExitCodeSource(void);

// For the backend's tests: use the given source from now on (starting the
// process connector if asked for it; when it cannot start, no source
// serves), or probe again with EXIT_CODE_SOURCE_AUTOMATIC.
void ForceExitCodeSource(int which);

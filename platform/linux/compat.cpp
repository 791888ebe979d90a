#include "platform/linux/compat.h"

#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>

#ifndef SYS_pidfd_open
#define SYS_pidfd_open 434
#endif
#ifndef SYS_pidfd_send_signal
#define SYS_pidfd_send_signal 424
#endif

#define PIDFD_GET_INFO_REQUEST _IOWR(0xFF, 11, PidfdInfo)

int PidfdOpen(int pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0u)); }

int PidfdSendSignal(int pidfd, int signal) {
  return static_cast<int>(syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0u));
}

int PidfdGetInfo(int pidfd, std::uint64_t mask, PidfdInfo* info) {
  *info = PidfdInfo{};
  info->mask = mask;
  return ioctl(pidfd, PIDFD_GET_INFO_REQUEST, info);
}

// The netlink process connector: the kernel's exit events for every
// process, for kernels whose pidfds do not carry exit codes. Needs root or
// CAP_NET_ADMIN in the initial namespaces.
#pragma once

#include <cstdint>

#include "platform/base_types.h"

// Subscribes and starts the listener thread; true once the kernel has
// acknowledged. Further calls return the first answer.
bool StartExitConnector(void);
bool ExitConnectorRunning(void);

// The wait status of the first exit of pid at or after the given start
// (nanoseconds since boot, as /proc counts start times). Reads whatever is
// waiting on the socket first, so an exit already sent is never missed.
bool FindConnectorExit(DWORD pid, std::uint64_t startNanoseconds, int* status,
                       std::uint64_t* exitMonotonicNanoseconds);

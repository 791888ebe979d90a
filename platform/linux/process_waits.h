#pragma once

#include "platform/base_types.h"

// Waits until the process has ended and its exit code is known to a
// source, or it is clear that none will know it.
DWORD WaitForProcessObject(void* process, DWORD milliseconds);

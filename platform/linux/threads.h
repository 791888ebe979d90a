// Threads: the program's own (CreateThread) and the backend's helpers.
#pragma once

#include "platform/base_types.h"

// Waits for a thread handle's thread to end: WAIT_OBJECT_0 or WAIT_TIMEOUT.
DWORD WaitForThreadObject(void* thread, DWORD milliseconds);

// A detached thread with a small stack and every signal blocked, so that
// stop signals reach the main thread and cut its sleep short.
bool StartBackendThread(void* (*routine)(void*), void* argument);

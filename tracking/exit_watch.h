// Exit watching: one waiter thread per watched process, and the lost-close
// poll that catches ends the waiters have not reported yet.
#pragma once

#include "platform/process_services.h"

// Starts the waiter of a record whose Handle was just opened. Returns
// false, with the handle released and the record unwatched again, when no
// thread could be started.
bool StartWatch(DWORD index);

DWORD WINAPI WaitProcessThread(LPVOID index);

void CheckLostClose(void);

// Key codes taken from standard input but not yet handed out: one key
// event can give several (a prefix and a scan code, the bytes of one
// character, a key held down).
#pragma once

constexpr int KeyQueueCapacity = 64;

bool KeyQueueEmpty(void);
int KeyQueueRoom(void);
// Codes that do not fit are dropped.
void KeyQueuePush(int code);
// The oldest code; -1 when the queue is empty.
int KeyQueuePop(void);

// The paged console table and the keys that page it.
#pragma once

#include "platform/base_types.h"

extern DWORD CurrentPage;

void ClearScreen(void);
void DumpProcessList(void);

// Handles at most one key: pages on Tab, Page Up and Page Down; returns
// false when Esc was read.
bool CheckKeyboard(void);

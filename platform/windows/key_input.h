// Where the keys come from: the console's input events when standard input
// is a console, else the bytes of the pipe or file standard input is.
#pragma once

#include "platform/base_types.h"

enum class KeySource { None, Console, Pipe, File };

// Standard input's kind, looked at once, on first use.
KeySource CurrentKeySource(void);
const char* KeySourceDescription(KeySource source);

// Each moves what its source has ready into the key queue, never blocking,
// and only while the queue is empty.
void FetchConsoleKeys(HANDLE input);
void FetchStreamKeys(HANDLE input, bool isPipe);

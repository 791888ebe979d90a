#pragma once

#include "platform/base_types.h"

// Prints the result code and, in debug mode, waits for a key press before
// ending the program with that code.
[[noreturn]] void ExitWithCode(int code);

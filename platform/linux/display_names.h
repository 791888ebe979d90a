// Names and paths that came from other processes, made safe to print: no
// process may send terminal sequences to the console or forge a log line.
#pragma once

#include <cstddef>

#include "platform/base_types.h"

// UTF-8 to UTF-16, cut to size units with terminator, with every control
// character (C0, DEL and C1) replaced by '?'.
void SystemTextToDisplayName(const char* text, WCHAR* name, std::size_t size);

#pragma once

#include "platform/base_types.h"

void ShowTitle(void);
[[noreturn]] void ShowUsage(void);

// The option value conversion: base 16 when the second character is 'x' or
// 'X', base 10 otherwise, as the C library's strtoul reads them.
DWORD ConvertOptionValue(const WCHAR* text);

// Reads the options into the settings; refusals end through ShowUsage.
void ParseCommandLine(int argc, WCHAR** argv);

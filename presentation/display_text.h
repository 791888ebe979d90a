// Names and paths come from other processes: before they reach the console
// or the log, control characters are replaced so that no process can send
// terminal sequences or forge a log line.
#pragma once

#include <cstddef>

#include "platform/base_types.h"

// Copies text (cut to fit and terminated), with C0 and C1 control
// characters and DEL replaced by '?'.
void CopyForDisplay(WCHAR* out, std::size_t size, const WCHAR* text);

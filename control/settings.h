// Settings read from the command line, read-only once monitoring starts.
#pragma once

#include <cstdint>

#include "platform/console_services.h"

extern DWORD CheckTimer;  // seconds between scans
extern DWORD DumpTimer;   // seconds between redraws
extern DWORD DumpNumber;  // records per console page
extern BOOL blDebug;      // diagnostic lines, and a key awaited before the end

// The log is saved on the first scan tick this long after the last save.
constexpr std::uint64_t SavePeriod = 5ull * 10000000ull;  // 100-ns units

// Start-up as a UTC calendar time, printed in every log header.
extern SYSTEMTIME tProgramStart;

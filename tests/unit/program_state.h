// What every logic test starts from: a fresh simulated world and the
// program's global state as it is at start-up.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base_types.h"
#include "tests/sim/sim.h"
#include "tracking/process_table.h"

void ResetProgramState();

// Runs the program's entry with these words after the program name and
// returns its exit code.
unsigned RunProgram(const std::vector<std::string>& words);

std::u16string Wide(const std::string& text);
std::string Narrow(const WCHAR* text);

// Waits (real time, bounded) until the waiter of record `index` has ended it.
bool WaitForRecordEnded(DWORD index);

// A record as a scan would leave it, for the view and log tests.
ProcessData MakeRecord(DWORD parent, DWORD pid, const std::string& path);

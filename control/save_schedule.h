// When the log is saved, how failed saves are retried, and what they mean
// for the program's result.
#pragma once

#include <cstdint>

// Due time of the next periodic save.
extern std::uint64_t NextSave;

// The save step of a scan tick: saves when NextSave is strictly before now.
// Returns false when a stop was asked while a failing save was retried.
bool SaveIfDue(std::uint64_t now, std::uint64_t latest);

// The last save after the loop has stopped, with a last few tries if it
// fails; returns the program's result.
int FinalSave(int resultCode);

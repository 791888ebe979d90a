// The monitoring loop: start-up, a tick every 250 ms, scans, redraws and
// saves when due, and the stop.
#pragma once

#include <cstdint>

// The UTC clock as a 64-bit count of 100-ns units.
std::uint64_t CurrentTime(void);

[[noreturn]] void RunMonitor(void);

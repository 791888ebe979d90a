// Time in the Windows form the logic works in: 100-ns units since
// 1601-01-01 UTC, and the conversions the process times need.
#pragma once

#include <cstdint>

#include "platform/base_types.h"

std::uint64_t CurrentFileTime(void);

// The moment the machine booted, on the same scale. Taken once, so that
// every creation time of the run is measured from the same origin.
std::uint64_t BootFileTime(void);

// Clock ticks (the unit of /proc times) to 100-ns units.
std::uint64_t TicksToFileTimeUnits(std::uint64_t ticks);
std::uint64_t TicksToNanoseconds(std::uint64_t ticks);

// A CLOCK_MONOTONIC reading, and the same instant as a FILETIME value.
std::uint64_t MonotonicNanoseconds(void);
std::uint64_t MonotonicToFileTime(std::uint64_t monotonicNanoseconds);

// How far CLOCK_BOOTTIME runs ahead of CLOCK_MONOTONIC (the time suspended).
std::uint64_t SuspendedNanoseconds(void);

FILETIME SplitFileTime(std::uint64_t value);

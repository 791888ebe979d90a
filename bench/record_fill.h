// The record table for the benchmarks: filled with records shaped like a
// real run's, or emptied once every watched process has ended.
#pragma once

#include "platform/base_types.h"

// count records with long paths, handles and times, half of them ended;
// no real handles, so nothing may wait on or query them.
void FillRecords(DWORD count);

// Waits until every watched record has ended (the processes must have
// been ended), releases the waiter handles and empties the table.
bool ClearRecords();

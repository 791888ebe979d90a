#include "bench/record_fill.h"

#include <time.h>

#include <cstdint>
#include <cstring>

#include "platform/process_services.h"
#include "platform/wide_text.h"
#include "tracking/process_table.h"

void FillRecords(DWORD count) {
  ClearRecords();
  const std::uint64_t start = 0x01DD6A8F3C1B2D40ull;
  for (DWORD i = 0; i < count; ++i) {
    ProcessData& record = DataArray[i];
    record.Valid = 1;
    record.ParentID = 0x1F40 + i / 40;
    record.ProcessID = 0x2000 + i;
    record.SubProcessNo = i % 40 == 0 ? 39 : 0;
    record.HandleOpen = i % 2;
    record.HandleClosed = 1 - i % 2;
    record.ExitCode = i % 2 == 0 ? 2 : STILL_ACTIVE;
    record.Handle = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x40 + 4 * i));
    record.tStart = MakeFileTime(start + i * 10000ull);
    record.tEnd = MakeFileTime(i % 2 == 0 ? start + i * 10000ull + 23000000ull : 0);
    record.KernelTime = MakeFileTime(120000ull * i);
    record.UserTime = MakeFileTime(340000ull * i);
    FormatTextW(record.ExeName, MAX_PATH, WSTR("worker-%d"), static_cast<int>(i % 17));
    FormatTextW(record.FilePathName, MAX_PATH,
                WSTR("/home/builder/projects/tolvane/jobs/nightly/bin/worker-%d"),
                static_cast<int>(i % 17));
  }
  RecordCount = count;
}

bool ClearRecords() {
  bool allEnded = true;
  for (DWORD i = 0; i < RecordCount; ++i) {
    // Synthetic records have no waiter; real ones end once their process
    // has, which the caller has seen to.
    if (DataArray[i].WaiterThread == nullptr) continue;
    for (int waited = 0; ReadRecord(i).HandleClosed != 1; ++waited) {
      if (waited == 20000) {
        allEnded = false;
        break;
      }
      timespec pause{0, 1000000};
      nanosleep(&pause, nullptr);
    }
    CloseHandle(DataArray[i].WaiterThread);
  }
  if (!allEnded) return false;  // a waiter still owns its record: leave the table
  std::memset(static_cast<void*>(DataArray), 0, sizeof(DataArray));
  RecordCount = 0;
  return true;
}

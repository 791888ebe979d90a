#include "tracking/process_table.h"

#include "platform/wide_text.h"

ProcessData DataArray[DataArraySize];
DWORD RecordCount = 0;
std::mutex RecordLock[DataArraySize];

DWORD GetProcessIndex(const WCHAR* exeName, DWORD parentPid, DWORD pid) {
  // Only the main thread writes the key fields, so they are read unlocked.
  for (DWORD i = 0; i < RecordCount; ++i) {
    const ProcessData& record = DataArray[i];
    if (record.ParentID == parentPid && record.ProcessID == pid &&
        WideEqualsIgnoringAsciiCase(record.ExeName, exeName))
      return i;
  }
  if (RecordCount >= DataArraySize) return NoFreeRecord;
  return RecordCount++;
}

ProcessData ReadRecord(DWORD index) {
  std::lock_guard<std::mutex> guard(RecordLock[index]);
  return DataArray[index];
}

std::uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME MakeFileTime(std::uint64_t value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

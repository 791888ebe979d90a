// The record table: one record per process met, kept for the whole run.
#pragma once

#include <mutex>

#include "platform/process_services.h"

struct ProcessData {
  DWORD Valid;         // 1 once a scan has filled the record
  DWORD HandleOpen;    // 1 while a waiter holds the open process handle
  DWORD HandleClosed;  // 1 once the waiter saw the end and released the handle
  DWORD LostClose;     // 1 when the poll saw the end before the waiter did
  DWORD ParentID;
  DWORD ProcessID;
  DWORD SubProcessNo;  // children counted by the latest scan
  DWORD ExitCode;      // read by the waiter; 0xFFFF when the read failed
  DWORD EndExitCode;   // read by the lost-close poll
  FILETIME tStart;
  FILETIME tEnd;  // zero while running or not yet read
  FILETIME KernelTime;
  FILETIME UserTime;
  HANDLE Handle;        // stays in the field after its release, for display
  HANDLE WaiterThread;  // null until a watch starts; never closed
  WCHAR ExeName[MAX_PATH];
  WCHAR FilePathName[MAX_PATH];
};

constexpr DWORD DataArraySize = 1024;

// Returned by GetProcessIndex when every slot is in use.
constexpr DWORD NoFreeRecord = 0xFFFFFFFFu;

extern ProcessData DataArray[DataArraySize];
extern DWORD RecordCount;

// The waiter thread of a record and the main thread meet on the fields the
// waiter writes (ExitCode, the times, HandleOpen, HandleClosed) and on the
// process handle. Every access to those fields, and every use of the
// handle outside the waiter's own wait, happens under the record's lock.
extern std::mutex RecordLock[DataArraySize];

// Index of the record keyed by (parent, PID, name, ASCII case ignored);
// adds a record at RecordCount when none matches, or NoFreeRecord when the
// table is full. The caller fills a new record.
DWORD GetProcessIndex(const WCHAR* exeName, DWORD parentPid, DWORD pid);

// A consistent copy of one record, taken under its lock.
ProcessData ReadRecord(DWORD index);

// The 64-bit value of a FILETIME, and back.
std::uint64_t FileTimeValue(const FILETIME& time);
FILETIME MakeFileTime(std::uint64_t value);

#include "tracking/tree_scan.h"

#include "control/settings.h"
#include "platform/console_services.h"
#include "platform/wide_text.h"
#include "tracking/exit_watch.h"
#include "tracking/process_table.h"

namespace {

// PIDs from the scan's starting parent down to the level being walked.
// Parent links can form loops (reused PIDs; PID 0 is its own parent), so a
// PID already on this path is never descended into again.
constexpr int MaxScanDepth = 2048;
DWORD ScanPath[MaxScanDepth];
int ScanDepth = 0;

bool OnScanPath(DWORD pid) {
  for (int i = 0; i < ScanDepth; ++i)
    if (ScanPath[i] == pid) return true;
  return false;
}

void DebugLine(const WCHAR* text) {
  if (blDebug) ConsolePrintW(text);
}

// Takes a process snapshot and reads its first entry; on failure prints
// the routine's diagnostic and returns INVALID_HANDLE_VALUE with nothing
// left open.
HANDLE OpenProcessList(PROCESSENTRY32W* first, const WCHAR* snapshotFail, const WCHAR* firstFail) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    DebugLine(snapshotFail);
    return INVALID_HANDLE_VALUE;
  }
  first->dwSize = sizeof(*first);
  if (!Process32FirstW(snapshot, first)) {
    DebugLine(firstFail);
    CloseHandle(snapshot);
    return INVALID_HANDLE_VALUE;
  }
  return snapshot;
}

void RefreshTimes(DWORD index) {
  ProcessData& record = DataArray[index];
  std::lock_guard<std::mutex> guard(RecordLock[index]);
  if (record.HandleClosed != 0 || record.LostClose != 0) return;
  GetProcessTimes(record.Handle, &record.tStart, &record.tEnd, &record.KernelTime,
                  &record.UserTime);
}

void OpenAndWatch(DWORD index, DWORD pid) {
  ProcessData& record = DataArray[index];
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (process == nullptr) {
    DebugLine(WSTR("\nGetProcessList(): OpenProcess fail!\n"));
    return;
  }
  record.Handle = process;
  if (StartWatch(index)) RefreshTimes(index);
}

void RecordEntry(DWORD index, const PROCESSENTRY32W& entry) {
  ProcessData& record = DataArray[index];
  record.Valid = 1;
  record.ParentID = entry.th32ParentProcessID;
  record.ProcessID = entry.th32ProcessID;
  WideCopy(record.ExeName, MAX_PATH, entry.szExeFile);
  // A path read by an earlier scan is kept when this read fails, as it may
  // for a process caught while it ends.
  if (!GetModuleName(record.FilePathName, entry.th32ProcessID) && record.FilePathName[0] == 0)
    WideCopy(record.FilePathName, MAX_PATH, entry.szExeFile);

  // A watched record keeps its handle's value for good, ended or not; only a
  // record that was never watched has none, and is opened now.
  if (record.Handle != nullptr)
    RefreshTimes(index);
  else
    OpenAndWatch(index, entry.th32ProcessID);
}

int WalkLevel(DWORD parentPid) {
  PROCESSENTRY32W entry;
  HANDLE snapshot =
      OpenProcessList(&entry, WSTR("\nGetParentList(): CreateToolhelp32Snapshot fail!\n"),
                      WSTR("\nGetProcessList(): Process32First fail!\n"));
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  ScanPath[ScanDepth++] = parentPid;
  int result = 1;
  do {
    if (parentPid != 0 && entry.th32ParentProcessID != parentPid) continue;
    DWORD index = GetProcessIndex(entry.szExeFile, entry.th32ParentProcessID, entry.th32ProcessID);
    if (index == NoFreeRecord) continue;  // table full: the loop ends the run
    RecordEntry(index, entry);

    ProcessData& record = DataArray[index];
    if (!GetSubProcessNo(record.ProcessID, &record.SubProcessNo)) {
      // The record's handle stays with its waiter, which releases it.
      DebugLine(WSTR("\nGetProcessList(): GetSubProcessNo fail!\n"));
      result = 0;
      break;
    }
    if (record.SubProcessNo != 0 && !OnScanPath(record.ProcessID) && ScanDepth < MaxScanDepth)
      WalkLevel(record.ProcessID);
  } while (Process32NextW(snapshot, &entry));
  --ScanDepth;
  CloseHandle(snapshot);
  return result;
}

}  // namespace

int GetProcessList(DWORD parentPid) { return WalkLevel(parentPid); }

DWORD GetParentProcessID(DWORD pid) {
  PROCESSENTRY32W entry;
  HANDLE snapshot =
      OpenProcessList(&entry, WSTR("\nGetParentProcessID(): CreateToolhelp32Snapshot fail!\n"),
                      WSTR("\nGetParentProcessID(): Process32First fail!\n"));
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  DWORD parent = 0;
  do {
    if (entry.th32ProcessID == pid) {
      parent = entry.th32ParentProcessID;
      break;
    }
  } while (Process32NextW(snapshot, &entry));
  CloseHandle(snapshot);
  return parent;
}

int GetSubProcessNo(DWORD pid, DWORD* count) {
  *count = 0;
  PROCESSENTRY32W entry;
  HANDLE snapshot =
      OpenProcessList(&entry, WSTR("\nGetSubProcessNo(): CreateToolhelp32Snapshot fail!\n"),
                      WSTR("\nGetSubProcessNo(): Process32First fail!\n"));
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  do {
    if (pid == 0 || entry.th32ParentProcessID == pid) ++*count;
  } while (Process32NextW(snapshot, &entry));
  CloseHandle(snapshot);
  return 1;
}

int GetModuleName(WCHAR* path, DWORD pid) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snapshot == INVALID_HANDLE_VALUE) {
    DebugLine(WSTR("\nGetModuleName(): CreateToolhelp32Snapshot fail!\n"));
    return 0;
  }
  MODULEENTRY32W module;
  module.dwSize = sizeof(module);
  if (!Module32FirstW(snapshot, &module)) {
    DebugLine(WSTR("\nGetModuleName(): Module32First fail!\n"));
    CloseHandle(snapshot);
    return 0;
  }
  WideCopy(path, MAX_PATH, module.szExePath);
  CloseHandle(snapshot);
  return 1;
}

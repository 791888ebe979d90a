#include "tracking/exit_watch.h"

#include <cstdint>

#include "tracking/process_table.h"

// The waiter alone releases a record's process handle: the poll only marks
// the record, so a handle is never closed while its waiter is blocked on it.
// Everything else that touches the handle or the fields the waiter writes
// does so under the record's lock, and checks HandleClosed first.

bool StartWatch(DWORD index) {
  ProcessData& record = DataArray[index];
  {
    std::lock_guard<std::mutex> guard(RecordLock[index]);
    record.HandleOpen = 1;
  }
  HANDLE thread = CreateThread(nullptr, WAITER_STACK_SIZE, WaitProcessThread,
                               reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(index)),
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread != nullptr) {
    record.WaiterThread = thread;
    return true;
  }
  // Nobody would own the handle: give it up, so the next scan tries again.
  std::lock_guard<std::mutex> guard(RecordLock[index]);
  CloseHandle(record.Handle);
  record.Handle = nullptr;
  record.HandleOpen = 0;
  return false;
}

DWORD WINAPI WaitProcessThread(LPVOID argument) {
  const DWORD index = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(argument));
  ProcessData& record = DataArray[index];
  // Written before this thread started and never changed while it runs.
  const HANDLE process = record.Handle;

  WaitForSingleObject(process, INFINITE);
  {
    std::lock_guard<std::mutex> guard(RecordLock[index]);
    DWORD code = 0;
    record.ExitCode = GetExitCodeProcess(process, &code) ? code : 0xFFFFu;
    GetProcessTimes(process, &record.tStart, &record.tEnd, &record.KernelTime, &record.UserTime);
    CloseHandle(process);
    record.HandleOpen = 0;
    record.HandleClosed = 1;
  }
  ExitThread(0);
  return 0;
}

void CheckLostClose(void) {
  for (DWORD i = 0; i < RecordCount; ++i) {
    ProcessData& record = DataArray[i];
    std::lock_guard<std::mutex> guard(RecordLock[i]);
    if (record.Handle == nullptr || record.HandleOpen != 1 || record.HandleClosed != 0 ||
        record.LostClose != 0)
      continue;
    // A process that really exits with 259 is taken for running; its waiter
    // still records it.
    if (GetExitCodeProcess(record.Handle, &record.EndExitCode) &&
        record.EndExitCode != STILL_ACTIVE)
      record.LostClose = 1;
  }
}

// The process list: each snapshot walks a pass over /proc (process_pass.h)
// with a cursor of its own, so it behaves as an independent snapshot even
// when it shares its pass with the other snapshots of a scan.
#include <atomic>
#include <memory>

#include "platform/linux/errors.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/process_pass.h"
#include "platform/linux/snapshots.h"
#include "platform/process_services.h"

namespace {

struct ProcessSnapshot {
  std::shared_ptr<const ProcessPass> pass;  // immutable, shared
  std::atomic<std::size_t> next;
};

void ReleaseProcessSnapshot(void* object) {
  delete static_cast<ProcessSnapshot*>(object);
  SnapshotClosed();
}

void FillEntry(const ProcessPass& pass, const PassEntry& from, PROCESSENTRY32W* to) {
  to->cntUsage = 0;
  to->th32ProcessID = from.pid;
  to->th32DefaultHeapID = 0;
  to->th32ModuleID = 0;
  to->cntThreads = from.threadCount;
  to->th32ParentProcessID = from.parentPid;
  to->pcPriClassBase = 8;  // normal priority class
  to->dwFlags = 0;
  const WCHAR* name = &pass.names[from.nameOffset];
  for (std::uint32_t i = 0; i <= from.nameLength; ++i) to->szExeFile[i] = name[i];
}

BOOL NextEntry(HANDLE handle, PROCESSENTRY32W* entry, bool first) {
  if (entry == nullptr || entry->dwSize != sizeof(PROCESSENTRY32W)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HandleUse use;
  if (!BeginHandleUse(handle, HANDLE_KIND_PROCESS_SNAPSHOT, &use)) return FALSE;
  ProcessSnapshot* snapshot = static_cast<ProcessSnapshot*>(use.object);
  const ProcessPass& pass = *snapshot->pass;
  // Each call takes an entry of its own, also when two threads share
  // the handle.
  std::size_t at = 0;
  if (first)
    snapshot->next.store(1);
  else
    at = snapshot->next.fetch_add(1);
  const BOOL found = at < pass.entries.size() ? TRUE : FALSE;
  if (found) FillEntry(pass, pass.entries[at], entry);
  EndHandleUse(&use);
  if (!found) SetLastError(ERROR_NO_MORE_FILES);
  return found;
}

}  // namespace

HANDLE CreateProcessSnapshot(void) {
  std::shared_ptr<const ProcessPass> pass = PassForSnapshot();
  if (pass == nullptr) {
    SetLastErrorFromErrno();
    return INVALID_HANDLE_VALUE;
  }
  ProcessSnapshot* snapshot = new ProcessSnapshot();
  snapshot->pass = std::move(pass);
  snapshot->next.store(0);
  return AddHandle(HANDLE_KIND_PROCESS_SNAPSHOT, snapshot, ReleaseProcessSnapshot);
}

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD pid) {
  if ((flags & TH32CS_SNAPMODULE) != 0) return CreateModuleSnapshot(pid);
  if ((flags & TH32CS_SNAPPROCESS) != 0) return CreateProcessSnapshot();
  SetLastError(ERROR_NOT_SUPPORTED);
  return INVALID_HANDLE_VALUE;
}

BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return NextEntry(snapshot, entry, true);
}

BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return NextEntry(snapshot, entry, false);
}

// The process list: one pass over /proc when the snapshot is taken, kept in
// the snapshot and walked by Process32FirstW/NextW.
#include <dirent.h>
#include <fcntl.h>

#include <climits>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/linux/display_names.h"
#include "platform/linux/errors.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/proc_files.h"
#include "platform/linux/snapshots.h"
#include "platform/process_services.h"

namespace {

struct SnapshotEntry {
  DWORD pid;
  DWORD parentPid;
  DWORD threadCount;
  std::size_t nameOffset;  // in names, terminated
};

struct ProcessSnapshot {
  std::mutex lock;
  std::vector<SnapshotEntry> entries;
  std::vector<char> names;
  std::size_t next;
};

void ReleaseProcessSnapshot(void* object) { delete static_cast<ProcessSnapshot*>(object); }

bool ParsePid(const char* text, DWORD* pid) {
  std::uint64_t value = 0;
  if (*text == 0) return false;
  for (; *text != 0; ++text) {
    if (*text < '0' || *text > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(*text - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  *pid = static_cast<DWORD>(value);
  return true;
}

void AddEntry(ProcessSnapshot* snapshot, int procFolder, DWORD pid) {
  ProcStat stat;
  if (!ReadProcStat(procFolder, pid, &stat)) return;  // ended since the listing
  char executable[PATH_MAX];
  const char* name = stat.name;
  // Kernel threads and ended processes have no executable: their command
  // name stands in.
  if (ReadExecutablePath(procFolder, pid, executable, sizeof executable) > 0)
    name = PathBaseName(executable);
  std::size_t length = std::strlen(name);
  std::size_t offset = snapshot->names.size();
  snapshot->names.insert(snapshot->names.end(), name, name + length + 1);
  snapshot->entries.push_back(SnapshotEntry{pid, stat.parentPid, stat.threadCount, offset});
}

void FillEntry(const ProcessSnapshot* snapshot, const SnapshotEntry& from, PROCESSENTRY32W* to) {
  to->cntUsage = 0;
  to->th32ProcessID = from.pid;
  to->th32DefaultHeapID = 0;
  to->th32ModuleID = 0;
  to->cntThreads = from.threadCount;
  to->th32ParentProcessID = from.parentPid;
  to->pcPriClassBase = 8;  // normal priority class
  to->dwFlags = 0;
  SystemTextToDisplayName(&snapshot->names[from.nameOffset], to->szExeFile, MAX_PATH);
}

BOOL NextEntry(HANDLE handle, PROCESSENTRY32W* entry, bool first) {
  if (entry == nullptr || entry->dwSize != sizeof(PROCESSENTRY32W)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HandleUse use;
  if (!BeginHandleUse(handle, HANDLE_KIND_PROCESS_SNAPSHOT, &use)) return FALSE;
  ProcessSnapshot* snapshot = static_cast<ProcessSnapshot*>(use.object);
  BOOL found = FALSE;
  {
    std::lock_guard<std::mutex> hold(snapshot->lock);
    if (first) snapshot->next = 0;
    if (snapshot->next < snapshot->entries.size()) {
      FillEntry(snapshot, snapshot->entries[snapshot->next++], entry);
      found = TRUE;
    }
  }
  EndHandleUse(&use);
  if (!found) SetLastError(ERROR_NO_MORE_FILES);
  return found;
}

}  // namespace

HANDLE CreateProcessSnapshot(void) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) {
    SetLastErrorFromErrno();
    return INVALID_HANDLE_VALUE;
  }
  ProcessSnapshot* snapshot = new ProcessSnapshot();
  snapshot->next = 0;
  snapshot->entries.reserve(512);
  snapshot->names.reserve(512 * 16);
  int procFolder = dirfd(proc);
  // Only the numeric entries are processes; their threads are not listed.
  while (const dirent* item = readdir(proc)) {
    DWORD pid;
    if (ParsePid(item->d_name, &pid)) AddEntry(snapshot, procFolder, pid);
  }
  closedir(proc);
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

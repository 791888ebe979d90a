// A process's module list, reduced to what /proc tells: its executable.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/linux/display_names.h"
#include "platform/linux/errors.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/proc_files.h"
#include "platform/linux/snapshots.h"
#include "platform/process_services.h"

namespace {

struct ModuleSnapshot {
  DWORD pid;
  char path[PATH_MAX];
};

void ReleaseModuleSnapshot(void* object) { delete static_cast<ModuleSnapshot*>(object); }

bool ProcessFolderExists(DWORD pid) {
  char folder[32];
  std::snprintf(folder, sizeof folder, "/proc/%u", static_cast<unsigned>(pid));
  return access(folder, F_OK) == 0;
}

}  // namespace

HANDLE CreateModuleSnapshot(DWORD pid) {
  ModuleSnapshot* snapshot = new ModuleSnapshot();
  snapshot->pid = pid == 0 ? static_cast<DWORD>(getpid()) : pid;
  if (ReadExecutablePath(AT_FDCWD, pid, snapshot->path, sizeof snapshot->path) <= 0) {
    int error = errno;
    delete snapshot;
    if (error == EACCES || error == EPERM)
      SetLastError(ERROR_ACCESS_DENIED);
    else if (error == ENOENT && ProcessFolderExists(pid))
      SetLastError(ERROR_PARTIAL_COPY);  // a kernel thread or an ended process: no image
    else
      SetLastError(ERROR_INVALID_PARAMETER);  // no such process
    return INVALID_HANDLE_VALUE;
  }
  return AddHandle(HANDLE_KIND_MODULE_SNAPSHOT, snapshot, ReleaseModuleSnapshot);
}

BOOL Module32FirstW(HANDLE handle, MODULEENTRY32W* entry) {
  if (entry == nullptr || entry->dwSize != sizeof(MODULEENTRY32W)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HandleUse use;
  if (!BeginHandleUse(handle, HANDLE_KIND_MODULE_SNAPSHOT, &use)) return FALSE;
  const ModuleSnapshot* snapshot = static_cast<const ModuleSnapshot*>(use.object);
  entry->th32ModuleID = 1;
  entry->th32ProcessID = snapshot->pid;
  entry->GlblcntUsage = 0xFFFF;
  entry->ProccntUsage = 0xFFFF;
  entry->modBaseAddr = nullptr;
  entry->modBaseSize = 0;
  entry->hModule = nullptr;
  SystemTextToDisplayName(PathBaseName(snapshot->path), entry->szModule, MAX_MODULE_NAME32 + 1);
  SystemTextToDisplayName(snapshot->path, entry->szExePath, MAX_PATH);
  EndHandleUse(&use);
  return TRUE;
}

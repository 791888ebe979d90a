// A process's module list, reduced to what /proc tells: its executable.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/linux/display_names.h"
#include "platform/linux/errors.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/proc_files.h"
#include "platform/linux/process_pass.h"
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

void SetModuleError(int error, bool processListed) {
  if (error == EACCES || error == EPERM)
    SetLastError(ERROR_ACCESS_DENIED);
  else if (error == ENOENT && processListed)
    SetLastError(ERROR_PARTIAL_COPY);  // a kernel thread or an ended process: no image
  else
    SetLastError(ERROR_INVALID_PARAMETER);  // no such process
}

// The executable as the scan's pass read it moments ago, when the pass may
// still be used and lists the process: the scan asks for every process it
// meets in that pass. 0 when the pass cannot tell.
int PathFromPass(DWORD pid, char* path, std::size_t size) {
  std::shared_ptr<const ProcessPass> pass = ReusablePass();
  if (pass == nullptr) return 0;
  const PassEntry* entry = FindPassEntry(*pass, pid);
  if (entry == nullptr) return 0;  // newer than the pass
  if (entry->pathOffset == NoExecutablePath) {
    SetModuleError(entry->pathError, true);
    return -1;
  }
  const char* found = &pass->paths[entry->pathOffset];
  std::size_t length = std::strlen(found);
  if (length >= size) length = size - 1;
  std::memcpy(path, found, length);
  path[length] = 0;
  return 1;
}

}  // namespace

HANDLE CreateModuleSnapshot(DWORD pid) {
  ModuleSnapshot* snapshot = new ModuleSnapshot();
  snapshot->pid = pid == 0 ? static_cast<DWORD>(getpid()) : pid;
  const int fromPass = pid == 0 ? 0 : PathFromPass(pid, snapshot->path, sizeof snapshot->path);
  if (fromPass < 0) {
    delete snapshot;
    return INVALID_HANDLE_VALUE;
  }
  if (fromPass == 0 &&
      ReadExecutablePath(AT_FDCWD, pid, snapshot->path, sizeof snapshot->path) <= 0) {
    int error = errno;
    delete snapshot;
    SetModuleError(error, error == ENOENT && ProcessFolderExists(pid));
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

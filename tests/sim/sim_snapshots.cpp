// Toolhelp snapshots: a copy of the live process list, or the one module
// entry (the executable) of a process, taken at the moment of the call.
#include "tests/sim/sim_world.h"

namespace {

constexpr DWORD ErrorBadLength = 24;

std::u16string BaseName(const std::u16string& path) {
  std::size_t slash = path.find_last_of(u"/\\");
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

// Cut to the room of a Toolhelp name field, never inside a surrogate pair.
void CopyName(const std::u16string& text, WCHAR* field, std::size_t room) {
  std::size_t length = text.size() < room ? text.size() : room - 1;
  if (length > 0 && length < text.size() && text[length - 1] >= 0xD800 &&
      text[length - 1] <= 0xDBFF)
    --length;
  text.copy(field, length);
  field[length] = 0;
}

sim::SnapshotList LiveListLocked(sim::World& world) {
  if (world.processList == nullptr) {
    auto list = std::make_shared<std::vector<sim::SnapshotEntry>>();
    for (const auto& process : world.live)
      list->push_back({process->pid, process->parentPid, sim::ToUtf16(process->exeName)});
    world.processList = list;
  }
  return world.processList;
}

BOOL ReadProcessEntry(HANDLE snapshot, PROCESSENTRY32W* entry, bool first, const char* call) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  bool faulted = FaultDueLocked(world, first ? Op::Process32First : Op::Process32Next, &error);
  std::shared_ptr<HandleEntry> handle =
      UseHandleLocked(world, snapshot, HandleKind::Snapshot, call);
  if (handle == nullptr) return FALSE;
  if (entry == nullptr || entry->dwSize != sizeof(PROCESSENTRY32W)) error = ErrorBadLength;
  std::size_t index = first ? 0 : handle->position;
  if (!faulted && error == 0 && (handle->moduleSnapshot || index >= handle->entries->size()))
    error = ERROR_NO_MORE_FILES;
  if (faulted || error != 0) {
    SetLastError(error);
    return FALSE;
  }
  // Field by field: a full-table scan reads about a million entries, and a
  // whole-structure copy each time is what slows the sanitizer builds.
  const SnapshotEntry& item = (*handle->entries)[index];
  entry->cntUsage = 0;
  entry->th32ProcessID = item.pid;
  entry->th32DefaultHeapID = 0;
  entry->th32ModuleID = 0;
  entry->cntThreads = 1;
  entry->th32ParentProcessID = item.parentPid;
  entry->pcPriClassBase = 8;
  entry->dwFlags = 0;
  CopyName(item.text, entry->szExeFile, MAX_PATH);
  handle->position = index + 1;
  return TRUE;
}

}  // namespace

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD pid) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  if (flags != TH32CS_SNAPPROCESS && flags != TH32CS_SNAPMODULE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  bool modules = flags == TH32CS_SNAPMODULE;
  DWORD error = 0;
  if (FaultDueLocked(world, modules ? Op::ModuleSnapshot : Op::ProcessSnapshot, &error)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  auto snapshot = std::make_shared<HandleEntry>();
  snapshot->kind = HandleKind::Snapshot;
  snapshot->moduleSnapshot = modules;
  if (!modules) {
    snapshot->entries = LiveListLocked(world);
    return NewHandleLocked(world, snapshot);
  }
  DWORD target = pid != 0 ? pid : world.selfPid;
  std::shared_ptr<SimProcess> process = FindLiveLocked(world, target);
  std::string path;
  if (process != nullptr)
    path = process->exePath;
  else if (target == world.selfPid)
    path = ProgramPathLocked(world);  // the calling process exists even when not staged
  if (path.empty()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  snapshot->entries = std::make_shared<std::vector<SnapshotEntry>>(std::vector<SnapshotEntry>{
      {target, process != nullptr ? process->parentPid : 0, ToUtf16(path)}});
  return NewHandleLocked(world, snapshot);
}

BOOL Process32FirstW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return ReadProcessEntry(snapshot, entry, true, "Process32FirstW");
}

BOOL Process32NextW(HANDLE snapshot, PROCESSENTRY32W* entry) {
  return ReadProcessEntry(snapshot, entry, false, "Process32NextW");
}

BOOL Module32FirstW(HANDLE snapshot, MODULEENTRY32W* entry) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  bool faulted = FaultDueLocked(world, Op::Module32First, &error);
  std::shared_ptr<HandleEntry> handle =
      UseHandleLocked(world, snapshot, HandleKind::Snapshot, "Module32FirstW");
  if (handle == nullptr) return FALSE;
  if (entry == nullptr || entry->dwSize != sizeof(MODULEENTRY32W)) error = ErrorBadLength;
  if (!faulted && error == 0 && (!handle->moduleSnapshot || handle->entries->empty()))
    error = ERROR_NO_MORE_FILES;
  if (faulted || error != 0) {
    SetLastError(error);
    return FALSE;
  }
  const SnapshotEntry& item = handle->entries->front();
  MODULEENTRY32W filled{};
  filled.dwSize = sizeof(MODULEENTRY32W);
  filled.th32ModuleID = 1;
  filled.th32ProcessID = item.pid;
  filled.GlblcntUsage = 0xFFFF;
  filled.ProccntUsage = 0xFFFF;
  CopyName(BaseName(item.text), filled.szModule, MAX_MODULE_NAME32 + 1);
  CopyName(item.text, filled.szExePath, MAX_PATH);
  *entry = filled;
  return TRUE;
}

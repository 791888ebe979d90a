// The handle table: small values like Windows ones, never reused within a
// scenario, so that a stale handle is told apart from a live one and every
// double release or use after release is caught.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "tests/sim/sim_world.h"

namespace sim {

const char* KindName(HandleKind kind) {
  switch (kind) {
    case HandleKind::Process:
      return "process";
    case HandleKind::Snapshot:
      return "snapshot";
    case HandleKind::Thread:
      return "thread";
    case HandleKind::File:
      return "file";
  }
  return "?";
}

void RecordMisuseLocked(World& world, const char* call, HANDLE handle, const char* problem) {
  char line[200];
  std::snprintf(line, sizeof line, "%s(%#llx): %s", call,
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(handle)), problem);
  ++world.misuseCount;
  world.misuseReports.push_back(line);
}

HANDLE NewHandleLocked(World& world, std::shared_ptr<HandleEntry> entry) {
  entry->value = FirstHandle + HandleStep * world.handles.size();
  world.handles.push_back(entry);
  return reinterpret_cast<HANDLE>(entry->value);
}

std::shared_ptr<HandleEntry> FindOpenHandleLocked(World& world, HANDLE handle, const char* call) {
  std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
  std::size_t index = (value - FirstHandle) / HandleStep;
  std::shared_ptr<HandleEntry> entry;
  if (value >= FirstHandle && (value - FirstHandle) % HandleStep == 0 &&
      index < world.handles.size())
    entry = world.handles[index];
  const char* problem = nullptr;
  if (entry == nullptr)
    problem = "unknown handle";
  else if (!entry->open)
    problem = "handle already closed";
  if (problem == nullptr) return entry;
  RecordMisuseLocked(world, call, handle, problem);
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

std::shared_ptr<HandleEntry> UseHandleLocked(World& world, HANDLE handle, HandleKind kind,
                                             const char* call) {
  std::shared_ptr<HandleEntry> entry = FindOpenHandleLocked(world, handle, call);
  if (entry == nullptr || entry->kind == kind) return entry;
  std::string problem = std::string("a ") + KindName(entry->kind) + " handle where a " +
                        KindName(kind) + " handle belongs";
  RecordMisuseLocked(world, call, handle, problem.c_str());
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

int OpenHandleCount(const char* kind) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  int count = 0;
  for (const auto& entry : TheWorld().handles)
    if (entry->open && (kind == nullptr || std::strcmp(kind, KindName(entry->kind)) == 0)) ++count;
  return count;
}

int HandleMisuseCount() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().misuseCount;
}

std::vector<std::string> MisuseReports() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return TheWorld().misuseReports;
}

}  // namespace sim

BOOL CloseHandle(HANDLE handle) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  bool faulted = FaultDueLocked(world, Op::CloseHandle, &error);
  std::shared_ptr<HandleEntry> entry = FindOpenHandleLocked(world, handle, "CloseHandle");
  if (entry == nullptr) return FALSE;
  entry->open = false;
  // Windows leaves a wait on a closed handle undefined; here the waiter is
  // woken with WAIT_FAILED so that the test sees the misuse instead of a hang.
  if (entry->waiters > 0) {
    RecordMisuseLocked(world, "CloseHandle", handle, "closed while another thread waits on it");
    if (entry->process != nullptr) entry->process->changed.notify_all();
    if (entry->thread != nullptr) entry->thread->changed.notify_all();
  }
  if (entry->fd >= 0) {
    ::close(entry->fd);
    entry->fd = -1;
  }
  entry->entries.reset();
  if (faulted) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

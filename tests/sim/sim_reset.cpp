// The start of a scenario, and the scratch folder the program lives in.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/sim/sim_world.h"

namespace sim {

namespace {

void RemoveFolder(const std::string& folder) {
  if (folder.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

void RemoveLastFolderAtExit() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  RemoveFolder(TheWorld().programFolder);
}

// Every thread must have returned before the world that its routine reads
// is replaced, so processes are ended and held waiters let go first.
void JoinAllThreads() {
  std::unique_lock<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  world.holdWaiters = false;
  std::vector<std::shared_ptr<SimProcess>> alive = world.live;
  for (const auto& process : alive) EndProcessLocked(world, process, 0, world.clock, 0, 0);
  for (const auto& process : world.everyProcess) process->changed.notify_all();
  for (;;) {
    std::vector<std::shared_ptr<SimThread>> pending;
    for (const auto& thread : world.threads)
      if (!thread->joined) pending.push_back(thread);
    if (pending.empty()) return;
    lock.unlock();
    for (const auto& thread : pending) pthread_join(thread->thread, nullptr);
    lock.lock();
    for (const auto& thread : pending) thread->joined = true;
  }
}

}  // namespace

const std::string& ProgramFolderLocked(World& world) {
  if (!world.programFolder.empty()) return world.programFolder;
  static bool cleanupRegistered = false;
  if (!cleanupRegistered) {
    cleanupRegistered = true;
    std::atexit(RemoveLastFolderAtExit);
  }
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/tolvane-sim-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) TestMistake("cannot create a scratch folder");
  world.programFolder = NormalPath(pattern);
  return world.programFolder;
}

std::string ProgramPathLocked(World& world) { return ProgramFolderLocked(world) + "/Tolvane.exe"; }

std::string ProgramFolder() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return ProgramFolderLocked(TheWorld());
}

int Reset() {
  if (OnSimThread()) TestMistake("Reset called on a thread that CreateThread started");
  JoinAllThreads();
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  int stillOpen = 0;
  for (const auto& entry : world.handles) {
    if (!entry->open) continue;
    if (entry->kind != HandleKind::Thread) ++stillOpen;
    if (entry->fd >= 0) ::close(entry->fd);
  }
  for (const auto& [block, size] : world.heapBlocks) std::free(block);
  RemoveFolder(world.programFolder);
  world = World();
  ProgramFolderLocked(world);
  SetLastError(ERROR_SUCCESS);
  return stillOpen;
}

}  // namespace sim

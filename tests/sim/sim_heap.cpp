// The process heap over the C allocator, with every live block tracked so
// that leaks and double frees show in a scenario's counts.
#include <cstdlib>
#include <cstring>

#include "tests/sim/sim_world.h"

namespace {

const HANDLE ProcessHeap = reinterpret_cast<HANDLE>(std::uintptr_t{0x30});

// Without HEAP_ZERO_MEMORY Windows hands out whatever the block held, so
// the fresh bytes are made visible rather than zero by luck.
void FillFresh(void* block, std::size_t from, std::size_t to, DWORD flags) {
  if (to > from)
    std::memset(static_cast<char*>(block) + from, (flags & HEAP_ZERO_MEMORY) != 0 ? 0 : 0xCD,
                to - from);
}

bool CheckHeapLocked(sim::World& world, HANDLE heap, const char* call) {
  if (heap == ProcessHeap) return true;
  sim::RecordMisuseLocked(world, call, heap, "not the process heap");
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

}  // namespace

namespace sim {

int LiveHeapBlocks() {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return static_cast<int>(TheWorld().heapBlocks.size());
}

}  // namespace sim

HANDLE GetProcessHeap(void) { return ProcessHeap; }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD ignored = 0;
  bool faulted = FaultDueLocked(world, Op::HeapAlloc, &ignored);
  if (!CheckHeapLocked(world, heap, "HeapAlloc")) return nullptr;
  void* block = faulted ? nullptr : std::malloc(bytes != 0 ? bytes : 1);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  FillFresh(block, 0, bytes, flags);
  world.heapBlocks[block] = bytes;
  return block;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID memory, SIZE_T bytes) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD ignored = 0;
  bool faulted = FaultDueLocked(world, Op::HeapAlloc, &ignored);
  if (!CheckHeapLocked(world, heap, "HeapReAlloc")) return nullptr;
  auto found = world.heapBlocks.find(memory);
  if (found == world.heapBlocks.end()) {
    RecordMisuseLocked(world, "HeapReAlloc", memory, "not a live heap block");
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::size_t oldSize = found->second;
  void* block = faulted ? nullptr : std::realloc(memory, bytes != 0 ? bytes : 1);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;  // the old block stays live, as on Windows
  }
  world.heapBlocks.erase(found);
  FillFresh(block, oldSize, bytes, flags);
  world.heapBlocks[block] = bytes;
  return block;
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID memory) {
  using namespace sim;
  static_cast<void>(flags);
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  if (!CheckHeapLocked(world, heap, "HeapFree")) return FALSE;
  if (memory == nullptr) return TRUE;
  auto found = world.heapBlocks.find(memory);
  if (found == world.heapBlocks.end()) {
    RecordMisuseLocked(world, "HeapFree", memory, "not a live heap block");
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  world.heapBlocks.erase(found);
  std::free(memory);
  return TRUE;
}

// The process heap over the C allocator.
#include <cstdlib>

#include "platform/console_services.h"

namespace {

int processHeap;  // its address is the heap's handle

bool IsProcessHeap(HANDLE heap) { return heap == static_cast<HANDLE>(&processHeap); }

}  // namespace

HANDLE GetProcessHeap(void) { return static_cast<HANDLE>(&processHeap); }

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (!IsProcessHeap(heap)) return nullptr;
  // Windows gives a distinct block even for zero bytes.
  std::size_t size = bytes > 0 ? bytes : 1;
  void* block = (flags & HEAP_ZERO_MEMORY) != 0 ? std::calloc(1, size) : std::malloc(size);
  if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD, LPVOID memory, SIZE_T bytes) {
  if (!IsProcessHeap(heap) || memory == nullptr) return nullptr;
  // On failure the old block stays valid, as on Windows.
  void* block = std::realloc(memory, bytes > 0 ? bytes : 1);
  if (block == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return block;
}

BOOL HeapFree(HANDLE heap, DWORD, LPVOID memory) {
  if (!IsProcessHeap(heap)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::free(memory);
  return TRUE;
}

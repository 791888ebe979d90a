#include "platform/linux/handle_table.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "platform/linux/console_output.h"
#include "platform/process_services.h"

struct HandleEntry {
  HandleKind kind;
  void* object;
  HandleObjectRelease release;
  unsigned uses;
  bool closed;
};

namespace {

// Values step by 4 from 0x40 like Windows handles and are handed out in
// rising order, wrapping only far above any real count: a handle used after
// its close then meets ERROR_INVALID_HANDLE rather than a newer object.
constexpr std::uintptr_t firstHandleValue = 0x40;
constexpr std::uintptr_t lastHandleValue = 0x7FFFFFFC;

std::mutex tableLock;
// Never destroyed: handles such as the waiters' thread handles stay open
// until the process ends, and threads may still use the table while static
// objects are torn down at exit.
std::unordered_map<std::uintptr_t, HandleEntry*>& openHandles =
    *new std::unordered_map<std::uintptr_t, HandleEntry*>();
std::uintptr_t nextHandleValue = firstHandleValue;

std::uintptr_t HandleValue(HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

}  // namespace

HANDLE AddHandle(HandleKind kind, void* object, HandleObjectRelease release) {
  HandleEntry* entry = new HandleEntry{kind, object, release, 0, false};
  std::lock_guard<std::mutex> hold(tableLock);
  std::uintptr_t value;
  do {
    value = nextHandleValue;
    nextHandleValue = value >= lastHandleValue ? firstHandleValue : value + 4;
  } while (openHandles.count(value) != 0);
  openHandles.emplace(value, entry);
  return reinterpret_cast<HANDLE>(value);
}

bool BeginAnyHandleUse(HANDLE handle, HandleUse* use) {
  std::lock_guard<std::mutex> hold(tableLock);
  auto found = openHandles.find(HandleValue(handle));
  if (found == openHandles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  HandleEntry* entry = found->second;
  ++entry->uses;
  *use = HandleUse{entry, entry->kind, entry->object};
  return true;
}

bool BeginHandleUse(HANDLE handle, HandleKind kind, HandleUse* use) {
  if (!BeginAnyHandleUse(handle, use)) return false;
  if (use->kind == kind) return true;
  EndHandleUse(use);
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

void EndHandleUse(HandleUse* use) {
  HandleEntry* entry = use->entry;
  bool last;
  {
    std::lock_guard<std::mutex> hold(tableLock);
    last = --entry->uses == 0 && entry->closed;
  }
  if (last) {
    entry->release(entry->object);
    delete entry;
  }
}

BOOL CloseHandle(HANDLE handle) {
  if (IsStandardHandle(handle)) return TRUE;  // the descriptors outlive the program's use
  HandleEntry* entry;
  bool unused;
  {
    std::lock_guard<std::mutex> hold(tableLock);
    auto found = openHandles.find(HandleValue(handle));
    if (found == openHandles.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    entry = found->second;
    openHandles.erase(found);
    entry->closed = true;
    unused = entry->uses == 0;
  }
  if (unused) {
    entry->release(entry->object);
    delete entry;
  }
  return TRUE;
}

std::size_t OpenHandleCount(void) {
  std::lock_guard<std::mutex> hold(tableLock);
  return openHandles.size();
}

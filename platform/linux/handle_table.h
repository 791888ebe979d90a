// Handles as small numbers, as Windows gives them, standing for the
// backend's objects. A handle may be in use on one thread while another
// closes it: the object then lives until the last use ends, and the number
// is invalid from the close on.
#pragma once

#include "platform/base_types.h"

enum HandleKind {
  HANDLE_KIND_PROCESS_SNAPSHOT,
  HANDLE_KIND_MODULE_SNAPSHOT,
  HANDLE_KIND_PROCESS,
  HANDLE_KIND_THREAD,
  HANDLE_KIND_FILE,
};

typedef void (*HandleObjectRelease)(void* object);

struct HandleEntry;

struct HandleUse {
  HandleEntry* entry;
  HandleKind kind;
  void* object;
};

// A new handle for the object; release runs once, after the close and the
// last use. Never fails.
HANDLE AddHandle(HandleKind kind, void* object, HandleObjectRelease release);

// Starts a use of an open handle of the given kind; false with
// ERROR_INVALID_HANDLE for anything else.
bool BeginHandleUse(HANDLE handle, HandleKind kind, HandleUse* use);
bool BeginAnyHandleUse(HANDLE handle, HandleUse* use);
void EndHandleUse(HandleUse* use);

// Handles open now, for the tests.
std::size_t OpenHandleCount(void);

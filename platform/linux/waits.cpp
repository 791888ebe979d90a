#include "platform/linux/handle_table.h"
#include "platform/linux/process_waits.h"
#include "platform/linux/threads.h"
#include "platform/process_services.h"

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  HandleUse use;
  if (!BeginAnyHandleUse(handle, &use)) return WAIT_FAILED;
  DWORD result;
  switch (use.kind) {
    case HANDLE_KIND_PROCESS:
      result = WaitForProcessObject(use.object, milliseconds);
      break;
    case HANDLE_KIND_THREAD:
      result = WaitForThreadObject(use.object, milliseconds);
      break;
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      result = WAIT_FAILED;
      break;
  }
  EndHandleUse(&use);
  return result;
}

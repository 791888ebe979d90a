#include "platform/linux/paths.h"

#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/console_services.h"
#include "platform/linux/errors.h"
#include "platform/wide_text.h"

bool SystemPathFromWide(LPCWSTR name, char* path, std::size_t size) {
  if (name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (Utf16ToUtf8(name, path, size) >= size) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  return true;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size) {
  if (module != nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);  // only the program's own module is known
    return 0;
  }
  char executable[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
  if (length < 0) {
    SetLastErrorFromErrno();
    return 0;
  }
  executable[length] = 0;
  if (size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::size_t needed = Utf8ToUtf16(executable, path, size);
  if (needed >= size) {
    // As Windows: cut and terminated, the full size returned.
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return static_cast<DWORD>(needed);
}

BOOL SetCurrentDirectoryW(LPCWSTR name) {
  char path[PATH_MAX];
  if (!SystemPathFromWide(name, path, sizeof path)) return FALSE;
  if (chdir(path) != 0) {
    SetLastError(Win32ErrorForPath(errno, path));
    return FALSE;
  }
  return TRUE;
}

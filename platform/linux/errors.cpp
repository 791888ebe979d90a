#include "platform/linux/errors.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

}  // namespace

DWORD GetLastError(void) { return lastError; }

void SetLastError(DWORD code) { lastError = code; }

DWORD Win32ErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case EPERM:
    case EACCES:
    case EISDIR:
    case ELOOP:  // a symbolic link where none may be followed
      return ERROR_ACCESS_DENIED;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ERROR_DISK_FULL;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case EINVAL:
    case ESRCH:
      return ERROR_INVALID_PARAMETER;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EBUSY:
    case ETXTBSY:
      return ERROR_BUSY;
    case ENOTSUP:
    case ENOTTY:
    case ENOSYS:
      return ERROR_NOT_SUPPORTED;
    default:
      return ERROR_GEN_FAILURE;
  }
}

DWORD Win32ErrorForPath(int error, const char* path) {
  if (error != ENOENT) return Win32ErrorFromErrno(error);
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) return ERROR_FILE_NOT_FOUND;  // the current folder exists
  char folder[4096];
  std::size_t length = static_cast<std::size_t>(slash - path);
  if (length == 0) return ERROR_FILE_NOT_FOUND;  // directly under "/"
  if (length >= sizeof folder) return ERROR_PATH_NOT_FOUND;
  std::memcpy(folder, path, length);
  folder[length] = 0;
  struct stat status;
  if (stat(folder, &status) != 0 || !S_ISDIR(status.st_mode)) return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

void SetLastErrorFromErrno(void) { SetLastError(Win32ErrorFromErrno(errno)); }

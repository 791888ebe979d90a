// Files over POSIX descriptors. Files written are never reached through a
// symbolic link: a link planted where the log goes cannot redirect it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/console_services.h"
#include "platform/linux/console_output.h"
#include "platform/linux/errors.h"
#include "platform/linux/handle_table.h"
#include "platform/linux/paths.h"

namespace {

struct FileObject {
  int descriptor;
};

void ReleaseFileObject(void* object) {
  FileObject* file = static_cast<FileObject*>(object);
  close(file->descriptor);
  delete file;
}

bool OpenFlags(DWORD access, DWORD disposition, int* flags) {
  bool reads = (access & GENERIC_READ) != 0, writes = (access & GENERIC_WRITE) != 0;
  *flags = O_CLOEXEC | (reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY);
  switch (disposition) {
    case CREATE_NEW:
      *flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      *flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      *flags |= O_CREAT;
      break;
    default:
      return false;
  }
  if (writes || (*flags & O_CREAT) != 0) *flags |= O_NOFOLLOW;
  return true;
}

// Runs body on the descriptor behind a file handle or a standard handle.
template <typename Body>
BOOL WithDescriptor(HANDLE handle, Body body) {
  int standard = StandardHandleDescriptor(handle);
  if (standard >= 0) return body(standard);
  HandleUse use;
  if (!BeginHandleUse(handle, HANDLE_KIND_FILE, &use)) return FALSE;
  BOOL result = body(static_cast<FileObject*>(use.object)->descriptor);
  EndHandleUse(&use);
  return result;
}

// Makes a rename in the folder holding path durable.
bool SyncFolderOf(const char* path) {
  char folder[PATH_MAX];
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    std::strcpy(folder, ".");
  } else {
    std::size_t length = slash == path ? 1 : static_cast<std::size_t>(slash - path);
    std::memcpy(folder, path, length);
    folder[length] = 0;
  }
  int descriptor = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return false;
  bool synced = fsync(descriptor) == 0 || errno == EINVAL;  // some file systems cannot
  int error = errno;
  close(descriptor);
  errno = error;
  return synced;
}

}  // namespace

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, void*, DWORD disposition, DWORD, HANDLE) {
  char path[PATH_MAX];
  if (!SystemPathFromWide(name, path, sizeof path)) return INVALID_HANDLE_VALUE;
  int flags;
  if (!OpenFlags(access, disposition, &flags)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  int descriptor = open(path, flags, 0644);
  if (descriptor < 0) {
    SetLastError(Win32ErrorForPath(errno, path));
    return INVALID_HANDLE_VALUE;
  }
  struct stat status;
  if (fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
    close(descriptor);  // a folder is no file, as on Windows
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return AddHandle(HANDLE_KIND_FILE, new FileObject{descriptor}, ReleaseFileObject);
}

BOOL WriteFile(HANDLE file, LPCVOID bytes, DWORD count, DWORD* written, void*) {
  if (written != nullptr) *written = 0;
  return WithDescriptor(file, [&](int descriptor) -> BOOL {
    std::size_t done;
    bool complete = WriteAll(descriptor, bytes, count, &done);
    if (written != nullptr) *written = static_cast<DWORD>(done);
    if (!complete) SetLastErrorFromErrno();
    return complete ? TRUE : FALSE;
  });
}

BOOL FlushFileBuffers(HANDLE file) {
  return WithDescriptor(file, [](int descriptor) -> BOOL {
    if (fsync(descriptor) == 0) return TRUE;
    SetLastErrorFromErrno();
    return FALSE;
  });
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  char source[PATH_MAX], target[PATH_MAX];
  if (!SystemPathFromWide(from, source, sizeof source) ||
      !SystemPathFromWide(to, target, sizeof target))
    return FALSE;
  // rename(2) replaces whatever is at the target, a symbolic link itself
  // included, never what a link points to.
  int result;
  if ((flags & MOVEFILE_REPLACE_EXISTING) != 0) {
    result = rename(source, target);
  } else {
    result = renameat2(AT_FDCWD, source, AT_FDCWD, target, RENAME_NOREPLACE);
    if (result != 0 && errno == EEXIST) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
  }
  if (result != 0) {
    SetLastError(Win32ErrorForPath(errno, source));
    return FALSE;
  }
  if ((flags & MOVEFILE_WRITE_THROUGH) != 0 && !SyncFolderOf(target)) {
    SetLastErrorFromErrno();
    return FALSE;
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR name) {
  char path[PATH_MAX];
  if (!SystemPathFromWide(name, path, sizeof path)) return FALSE;
  if (unlink(path) != 0) {
    SetLastError(Win32ErrorForPath(errno, path));
    return FALSE;
  }
  return TRUE;
}

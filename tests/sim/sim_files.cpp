// Files are real POSIX files; what the sim adds is Windows' sharing rules,
// files locked by "another program", Windows error codes and the faults.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/sim/sim_world.h"

namespace {

using sim::HandleEntry;
using sim::HandleKind;
using sim::World;

// Windows refuses a second open that the first one's sharing does not
// allow, or whose own sharing does not allow the first one's access.
bool SharingConflictLocked(const World& world, const std::string& path, DWORD access, DWORD share) {
  for (const auto& entry : world.handles) {
    if (!entry->open || entry->kind != HandleKind::File || entry->path != path) continue;
    if ((access & GENERIC_READ) != 0 && (entry->share & FILE_SHARE_READ) == 0) return true;
    if ((access & GENERIC_WRITE) != 0 && (entry->share & FILE_SHARE_WRITE) == 0) return true;
    if ((entry->access & GENERIC_READ) != 0 && (share & FILE_SHARE_READ) == 0) return true;
    if ((entry->access & GENERIC_WRITE) != 0 && (share & FILE_SHARE_WRITE) == 0) return true;
  }
  return false;
}

// Renaming or deleting a file that is open needs FILE_SHARE_DELETE on
// every open handle of it.
bool DeleteConflictLocked(const World& world, const std::string& path) {
  if (world.lockedFiles.count(path) != 0) return true;
  for (const auto& entry : world.handles)
    if (entry->open && entry->kind == HandleKind::File && entry->path == path &&
        (entry->share & FILE_SHARE_DELETE) == 0)
      return true;
  return false;
}

bool Exists(const std::string& path, struct stat* status) {
  return ::lstat(path.c_str(), status) == 0;
}

BOOL Failure(DWORD error) {
  SetLastError(error);
  return FALSE;
}

HANDLE OpenFailure(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

namespace sim {

void LockFile(const std::string& path, bool locked) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  std::string normal = NormalPath(path);
  if (locked)
    TheWorld().lockedFiles.insert(normal);
  else
    TheWorld().lockedFiles.erase(normal);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

bool FileExists(const std::string& path) {
  struct stat status;
  return Exists(path, &status);
}

}  // namespace sim

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, void* security, DWORD disposition,
                   DWORD attributes, HANDLE templateFile) {
  using namespace sim;
  static_cast<void>(security);
  static_cast<void>(attributes);
  static_cast<void>(templateFile);
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  if (FaultDueLocked(world, Op::CreateFile, &error)) return OpenFailure(error);
  std::string path = ResolveLocked(world, name);
  if (path.empty()) return OpenFailure(ERROR_PATH_NOT_FOUND);
  int mode;
  if ((access & GENERIC_READ) != 0 && (access & GENERIC_WRITE) != 0)
    mode = O_RDWR;
  else if ((access & GENERIC_WRITE) != 0)
    mode = O_WRONLY;
  else if ((access & GENERIC_READ) != 0)
    mode = O_RDONLY;
  else
    return OpenFailure(ERROR_INVALID_PARAMETER);
  int creation;
  switch (disposition) {
    case OPEN_EXISTING:
      creation = 0;
      break;
    case CREATE_ALWAYS:
      creation = O_CREAT | O_TRUNC;
      break;
    case CREATE_NEW:
      creation = O_CREAT | O_EXCL | O_NOFOLLOW;
      break;
    case OPEN_ALWAYS:
      creation = O_CREAT;
      break;
    default:
      return OpenFailure(ERROR_INVALID_PARAMETER);
  }
  if (world.lockedFiles.count(path) != 0 || SharingConflictLocked(world, path, access, share))
    return OpenFailure(ERROR_SHARING_VIOLATION);
  if (creation != 0 && InRootFolder(path)) return OpenFailure(ERROR_ACCESS_DENIED);
  struct stat status;
  bool existed = Exists(path, &status);
  int fd = ::open(path.c_str(), mode | creation | O_CLOEXEC, 0644);
  if (fd < 0) return OpenFailure(ErrorFromErrno(errno, path));
  if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode)) {
    ::close(fd);
    return OpenFailure(ERROR_ACCESS_DENIED);
  }
  auto entry = std::make_shared<HandleEntry>();
  entry->kind = HandleKind::File;
  entry->fd = fd;
  entry->path = path;
  entry->access = access;
  entry->share = share;
  bool reportsExisting = disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
  SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return NewHandleLocked(world, entry);
}

BOOL WriteFile(HANDLE file, LPCVOID bytes, DWORD count, DWORD* written, void* overlapped) {
  using namespace sim;
  static_cast<void>(overlapped);
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  DWORD ignored = 0;
  bool fails = FaultDueLocked(world, Op::WriteFile, &error);
  bool shortWrite = FaultDueLocked(world, Op::ShortWrite, &ignored);
  if (written != nullptr) *written = 0;
  std::shared_ptr<HandleEntry> entry = UseHandleLocked(world, file, HandleKind::File, "WriteFile");
  if (entry == nullptr) return FALSE;
  if ((entry->access & GENERIC_WRITE) == 0) return Failure(ERROR_ACCESS_DENIED);
  if (count > 0 && bytes == nullptr) return Failure(ERROR_INVALID_PARAMETER);
  if (fails) return Failure(error);
  DWORD wanted = shortWrite ? count / 2 : count;
  const char* next = static_cast<const char*>(bytes);
  DWORD done = 0;
  while (done < wanted) {
    ssize_t step = ::write(entry->fd, next + done, wanted - done);
    if (step < 0 && errno == EINTR) continue;
    if (step < 0) {
      if (written != nullptr) *written = done;
      return Failure(ErrorFromErrno(errno, entry->path));
    }
    done += static_cast<DWORD>(step);
  }
  if (written != nullptr) *written = done;
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  bool faulted = FaultDueLocked(world, Op::FlushFileBuffers, &error);
  std::shared_ptr<HandleEntry> entry =
      UseHandleLocked(world, file, HandleKind::File, "FlushFileBuffers");
  if (entry == nullptr) return FALSE;
  if ((entry->access & GENERIC_WRITE) == 0) return Failure(ERROR_ACCESS_DENIED);
  if (faulted) return Failure(error);
  if (::fsync(entry->fd) != 0) return Failure(ErrorFromErrno(errno, entry->path));
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  if (FaultDueLocked(world, Op::MoveFile, &error)) return Failure(error);
  std::string source = ResolveLocked(world, from);
  std::string target = ResolveLocked(world, to);
  if (source.empty() || target.empty()) return Failure(ERROR_PATH_NOT_FOUND);
  if (DeleteConflictLocked(world, source) || DeleteConflictLocked(world, target))
    return Failure(ERROR_SHARING_VIOLATION);
  if (InRootFolder(source) || InRootFolder(target)) return Failure(ERROR_ACCESS_DENIED);
  struct stat status;
  if (!Exists(source, &status)) return Failure(ErrorFromErrno(errno, source));
  if (Exists(target, &status)) {
    if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) return Failure(ERROR_ALREADY_EXISTS);
    if (S_ISDIR(status.st_mode)) return Failure(ERROR_ACCESS_DENIED);
  }
  if (::rename(source.c_str(), target.c_str()) != 0) return Failure(ErrorFromErrno(errno, target));
  for (const auto& entry : world.handles)
    if (entry->kind == HandleKind::File && entry->path == source) entry->path = target;
  if ((flags & MOVEFILE_WRITE_THROUGH) != 0) {
    int folder = ::open(std::filesystem::path(target).parent_path().c_str(), O_RDONLY | O_CLOEXEC);
    if (folder >= 0) {
      ::fsync(folder);
      ::close(folder);
    }
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR name) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  if (FaultDueLocked(world, Op::DeleteFile, &error)) return Failure(error);
  std::string path = ResolveLocked(world, name);
  if (path.empty()) return Failure(ERROR_PATH_NOT_FOUND);
  if (DeleteConflictLocked(world, path)) return Failure(ERROR_SHARING_VIOLATION);
  if (InRootFolder(path)) return Failure(ERROR_ACCESS_DENIED);
  struct stat status;
  if (!Exists(path, &status)) return Failure(ErrorFromErrno(errno, path));
  if (S_ISDIR(status.st_mode)) return Failure(ERROR_ACCESS_DENIED);
  if (::unlink(path.c_str()) != 0) return Failure(ErrorFromErrno(errno, path));
  return TRUE;
}

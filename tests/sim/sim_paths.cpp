// Names the program uses, resolved against the simulated current directory,
// and the program's own path.
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "tests/sim/sim_world.h"

namespace {

constexpr DWORD ErrorModuleNotFound = 126;
constexpr DWORD ErrorDirectory = 267;

bool DirectoryExists(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

namespace sim {

std::string NormalPath(const std::string& path) {
  std::string normal = std::filesystem::path(path).lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return normal;
}

std::string ResolveLocked(const World& world, LPCWSTR name) {
  std::string path = ToUtf8(name);
  if (path.empty()) return path;
  for (char& c : path)
    if (c == '\\') c = '/';
  if (path.front() != '/') path = world.currentDirectory + "/" + path;
  return NormalPath(path);
}

bool InRootFolder(const std::string& path) {
  return std::filesystem::path(path).parent_path() == "/";
}

DWORD ErrorFromErrno(int error, const std::string& path) {
  switch (error) {
    case ENOENT:
      return DirectoryExists(std::filesystem::path(path).parent_path().string())
                 ? ERROR_FILE_NOT_FOUND
                 : ERROR_PATH_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ELOOP:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace sim

DWORD GetModuleFileNameW(HMODULE module, LPWSTR path, DWORD size) {
  using namespace sim;
  if (module != nullptr) {
    SetLastError(ErrorModuleNotFound);
    return 0;
  }
  std::u16string wide;
  {
    std::lock_guard<std::mutex> lock(WorldMutex());
    wide = ToUtf16(ProgramPathLocked(TheWorld()));
  }
  if (size == 0 || path == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  // As Windows does: a cut, terminated path, the full size, and the error.
  if (wide.size() >= size) {
    wide.resize(size - 1);
    wide.copy(path, wide.size());
    path[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  wide.copy(path, wide.size());
  path[wide.size()] = 0;
  return static_cast<DWORD>(wide.size());
}

BOOL SetCurrentDirectoryW(LPCWSTR path) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  std::string resolved = ResolveLocked(world, path);
  struct stat status;
  if (resolved.empty() || ::stat(resolved.c_str(), &status) != 0) {
    SetLastError(resolved.empty() ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno, resolved));
    return FALSE;
  }
  if (!S_ISDIR(status.st_mode)) {
    SetLastError(ErrorDirectory);
    return FALSE;
  }
  world.currentDirectory = resolved;
  return TRUE;
}

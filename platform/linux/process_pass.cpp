#include "platform/linux/process_pass.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include "platform/linux/clock.h"
#include "platform/linux/display_names.h"
#include "platform/linux/proc_files.h"

namespace {

// Why a pass may serve more than one snapshot, and for how long.
//
// The tree scan takes a snapshot per level and one per recorded process
// (its child count), each meant to show the processes of that moment; with
// 100 watched processes that was 100 passes over /proc a scan, each one
// reading a file of every process on the machine. Within one scan the
// snapshots now come from one pass made moments before: the scan holds its
// top level's snapshot open from its start to its end, and while any
// process snapshot is open a pass under 100 ms old serves the next one.
//
// It cannot span two scans: the last close of the scan lets the pass go,
// and even a snapshot held open elsewhere cannot stretch it, since scans
// start at least one 250 ms tick apart and the pass serves for 100 ms
// only. A process started after the pass is missing from the rest of that
// scan and is met by the next one, as on Windows, where a process started
// during the walk can be met at one level and missed at another; one that
// ended after it is still listed, as a process that ends during the walk
// is. A snapshot taken with no other open is always a new pass.
std::mutex recentLock;  // guards the three below
std::shared_ptr<const ProcessPass> recent;
unsigned openSnapshots = 0;

// The pass taken last. A process that has ended but is not yet reaped no
// longer shows its executable; it keeps the path and name it had in the
// pass before, so that a scan meeting it now does not take it for another
// process under its command name.
std::mutex lastPassLock;
std::shared_ptr<const ProcessPass> lastPass;

// The size of the last pass, so that the next one reserves enough at once.
std::atomic<std::size_t> lastEntryCount{512};

bool ParsePid(const char* text, DWORD* pid) {
  std::uint64_t value = 0;
  if (*text == 0) return false;
  for (; *text != 0; ++text) {
    if (*text < '0' || *text > '9') return false;
    value = value * 10 + static_cast<std::uint64_t>(*text - '0');
    if (value > 0xFFFFFFFFu) return false;
  }
  *pid = static_cast<DWORD>(value);
  return true;
}

// "<pid>/<file>" for openat on the /proc descriptor, without a formatter.
void RelativeName(char* name, const char* pidText, const char* file) {
  std::size_t length = std::strlen(pidText);
  std::memcpy(name, pidText, length);
  name[length] = '/';
  std::strcpy(name + length + 1, file);
}

bool ReadStat(int procFolder, const char* pidText, char* buffer, std::size_t size, ProcStat* stat) {
  char name[40];
  RelativeName(name, pidText, "stat");
  int file = openat(procFolder, name, O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  ssize_t length;
  do {
    length = read(file, buffer, size);
  } while (length < 0 && errno == EINTR);
  close(file);
  if (length <= 0) return false;  // an empty file: the process is gone
  return ParseProcStat(buffer, static_cast<std::size_t>(length), stat);
}

// Appends the executable's path to paths (without the mark of a removed
// file) and returns its offset, or NoExecutablePath with the error.
std::uint32_t ReadExecutable(int procFolder, const char* pidText, std::vector<char>& paths,
                             int* error) {
  char name[40];
  RelativeName(name, pidText, "exe");
  const std::size_t offset = paths.size();
  paths.resize(offset + PATH_MAX);
  ssize_t length = readlinkat(procFolder, name, paths.data() + offset, PATH_MAX - 1);
  if (length <= 0) {
    *error = length < 0 ? errno : ENOENT;
    paths.resize(offset);
    return NoExecutablePath;
  }
  static const char deletedMark[] = " (deleted)";
  const std::size_t markLength = sizeof deletedMark - 1;
  if (static_cast<std::size_t>(length) > markLength &&
      std::memcmp(paths.data() + offset + length - markLength, deletedMark, markLength) == 0)
    length -= static_cast<ssize_t>(markLength);
  paths[offset + static_cast<std::size_t>(length)] = 0;
  paths.resize(offset + static_cast<std::size_t>(length) + 1);
  return static_cast<std::uint32_t>(offset);
}

void AddName(ProcessPass& pass, PassEntry& entry, const char* name) {
  WCHAR display[MAX_PATH];
  SystemTextToDisplayName(name, display, MAX_PATH);
  std::size_t length = 0;
  while (display[length] != 0) ++length;
  entry.nameOffset = static_cast<std::uint32_t>(pass.names.size());
  entry.nameLength = static_cast<std::uint32_t>(length);
  pass.names.insert(pass.names.end(), display, display + length + 1);
}

// The path a zombie had while it ran, from the pass before, appended to
// paths; NoExecutablePath when that pass did not know it.
std::uint32_t EarlierExecutable(const ProcessPass* earlier, const PassEntry& entry,
                                std::vector<char>& paths) {
  if (earlier == nullptr) return NoExecutablePath;
  const PassEntry* before = FindPassEntry(*earlier, entry.pid);
  if (before == nullptr || before->startTicks != entry.startTicks ||
      before->pathOffset == NoExecutablePath)
    return NoExecutablePath;
  const char* path = &earlier->paths[before->pathOffset];
  const std::size_t offset = paths.size();
  paths.insert(paths.end(), path, path + std::strlen(path) + 1);
  return static_cast<std::uint32_t>(offset);
}

void AddProcess(ProcessPass& pass, const ProcessPass* earlier, int procFolder, const char* pidText,
                DWORD pid, char* buffer, std::size_t size) {
  ProcStat stat;
  if (!ReadStat(procFolder, pidText, buffer, size, &stat)) return;  // ended since the listing
  PassEntry entry;
  entry.pid = pid;
  entry.parentPid = stat.parentPid;
  entry.threadCount = stat.threadCount;
  entry.startTicks = stat.startTicks;
  entry.userTicks = stat.userTicks;
  entry.kernelTicks = stat.kernelTicks;
  entry.pathError = 0;
  entry.pathOffset = ReadExecutable(procFolder, pidText, pass.paths, &entry.pathError);
  if (entry.pathOffset == NoExecutablePath && stat.state == 'Z') {
    const std::uint32_t kept = EarlierExecutable(earlier, entry, pass.paths);
    if (kept != NoExecutablePath) entry.pathOffset = kept;
  }
  // Kernel threads, zombies and other users' processes show no executable:
  // the kernel's command name stands in.
  AddName(pass, entry,
          entry.pathOffset != NoExecutablePath ? PathBaseName(&pass.paths[entry.pathOffset])
                                               : stat.name);
  if (!pass.entries.empty() && pass.entries.back().pid >= pid) pass.ascending = false;
  pass.entries.push_back(entry);
}

}  // namespace

std::shared_ptr<const ProcessPass> TakeProcessPass(void) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return nullptr;
  std::shared_ptr<ProcessPass> pass = std::make_shared<ProcessPass>();
  const std::size_t expected = lastEntryCount.load() + 64;
  pass->entries.reserve(expected);
  pass->names.reserve(expected * 16);
  pass->paths.reserve(expected * 48 + PATH_MAX);
  pass->ascending = true;
  pass->takenAt = MonotonicNanoseconds();
  // The stat line is a few hundred bytes; a command name is at most 64.
  char buffer[1024];
  const int procFolder = dirfd(proc);
  std::shared_ptr<const ProcessPass> earlier;
  {
    std::lock_guard<std::mutex> hold(lastPassLock);
    earlier = lastPass;
  }
  // Only the numeric entries are processes; their threads are not listed.
  while (const dirent* item = readdir(proc)) {
    DWORD pid;
    if (ParsePid(item->d_name, &pid))
      AddProcess(*pass, earlier.get(), procFolder, item->d_name, pid, buffer, sizeof buffer);
  }
  closedir(proc);
  {
    std::lock_guard<std::mutex> hold(lastPassLock);
    lastPass = pass;
  }
  lastEntryCount.store(pass->entries.size());
  return pass;
}

std::shared_ptr<const ProcessPass> PassForSnapshot(void) {
  {
    std::lock_guard<std::mutex> hold(recentLock);
    if (recent != nullptr && openSnapshots > 0 &&
        MonotonicNanoseconds() - recent->takenAt < PassReuseNanoseconds) {
      ++openSnapshots;
      return recent;
    }
  }
  std::shared_ptr<const ProcessPass> pass = TakeProcessPass();
  if (pass == nullptr) return nullptr;
  std::lock_guard<std::mutex> hold(recentLock);
  recent = pass;
  ++openSnapshots;
  return pass;
}

void SnapshotClosed(void) {
  std::shared_ptr<const ProcessPass> released;
  std::lock_guard<std::mutex> hold(recentLock);
  if (openSnapshots > 0 && --openSnapshots == 0) released.swap(recent);
  // released, the last reference but the closing snapshot's own, goes
  // after the lock is left.
}

std::shared_ptr<const ProcessPass> ReusablePass(void) {
  std::lock_guard<std::mutex> hold(recentLock);
  if (recent == nullptr || openSnapshots == 0 ||
      MonotonicNanoseconds() - recent->takenAt >= PassReuseNanoseconds)
    return nullptr;
  return recent;
}

const PassEntry* FindPassEntry(const ProcessPass& pass, DWORD pid) {
  const std::vector<PassEntry>& entries = pass.entries;
  if (pass.ascending) {
    std::size_t low = 0, high = entries.size();
    while (low < high) {
      std::size_t middle = low + (high - low) / 2;
      if (entries[middle].pid < pid)
        low = middle + 1;
      else
        high = middle;
    }
    return low < entries.size() && entries[low].pid == pid ? &entries[low] : nullptr;
  }
  for (const PassEntry& entry : entries)
    if (entry.pid == pid) return &entry;
  return nullptr;
}

// The simulated world shared by the sim's source files: one mutex guards all
// of it, since waiter threads and the test's thread meet on the same
// processes and handles. Routines named *Locked expect that mutex held.
#pragma once

#include <pthread.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/console_services.h"
#include "platform/process_services.h"
#include "tests/sim/sim.h"

namespace sim {

enum class HandleKind { Process, Snapshot, Thread, File };

struct SimProcess {
  DWORD pid = 0;
  DWORD parentPid = 0;
  std::string exeName;
  std::string exePath;
  std::uint64_t creationTime = 0;
  std::uint64_t exitTime = 0;
  std::uint64_t kernelTime = 0;
  std::uint64_t userTime = 0;
  DWORD exitCode = STILL_ACTIVE;
  bool ended = false;
  bool openable = true;
  std::condition_variable changed;  // ended, waiters released, a handle closed
};

struct HandleEntry;

struct SimThread {
  pthread_t thread{};
  LPTHREAD_START_ROUTINE start = nullptr;
  LPVOID argument = nullptr;
  bool joined = false;
  bool finished = false;
  bool exitThreadCalled = false;
  DWORD exitCode = STILL_ACTIVE;
  std::shared_ptr<HandleEntry> waitingOn;  // set while blocked in WaitForSingleObject
  std::condition_variable changed;         // finished, a handle closed
};

struct SnapshotEntry {
  DWORD pid;
  DWORD parentPid;
  std::u16string text;  // executable name, or the path in a module snapshot
};

// Shared by every snapshot taken while the live list stays the same.
using SnapshotList = std::shared_ptr<const std::vector<SnapshotEntry>>;

struct HandleEntry {
  HandleKind kind = HandleKind::Process;
  std::uintptr_t value = 0;
  bool open = true;
  int waiters = 0;
  std::shared_ptr<SimProcess> process;  // Process
  std::shared_ptr<SimThread> thread;    // Thread
  bool moduleSnapshot = false;          // Snapshot
  SnapshotList entries;
  std::size_t position = 0;
  int fd = -1;  // File
  std::string path;
  DWORD access = 0;
  DWORD share = 0;
};

struct Fault {
  bool armed = false;
  bool always = false;
  long from = 0;   // first failing call number
  long until = 0;  // first call number that no longer fails
  DWORD error = 0;
};

// The clock of a fresh scenario: 2026-01-02 03:04:05.000 UTC.
std::uint64_t StartClock();

constexpr std::uintptr_t FirstHandle = 0x40;
constexpr std::uintptr_t HandleStep = 4;

constexpr std::size_t OpCount = static_cast<std::size_t>(Op::Count);

// Everything a scenario stages and records; Reset replaces it whole.
struct World {
  DWORD selfPid = 100;
  std::vector<std::shared_ptr<SimProcess>> live;          // in order of addition
  std::vector<std::shared_ptr<SimProcess>> everyProcess;  // of this scenario
  SnapshotList processList;                               // of `live`; null once it changed
  bool holdWaiters = false;

  // Handle values are FirstHandle + HandleStep * index, closed ones kept.
  std::vector<std::shared_ptr<HandleEntry>> handles;
  int misuseCount = 0;
  std::vector<std::string> misuseReports;

  std::vector<std::shared_ptr<SimThread>> threads;
  int threadsFinished = 0;
  DWORD nextThreadId = 0x1000;

  std::uint64_t clock = StartClock();
  int sleepCount = 0;
  int sleepLimit = 100000;
  std::function<void()> onSleep;

  std::deque<int> keys;
  bool stopRequested = false;
  int startupCount = 0;

  std::string output;
  std::vector<std::string> screens{std::string()};
  std::vector<std::string> consoleOps;
  int clearCount = 0;
  std::vector<std::string> messageBoxes;

  std::string programFolder;
  std::string currentDirectory = "/";
  std::set<std::string> lockedFiles;

  std::map<void*, std::size_t> heapBlocks;

  std::array<Fault, OpCount> faults{};
  std::array<long, OpCount> calls{};
};

World& TheWorld();
std::mutex& WorldMutex();
// Signalled when a started thread blocks in a wait or finishes.
std::condition_variable& ThreadsChanged();

// True on a thread that CreateThread started.
bool OnSimThread();
SimThread* CurrentSimThread();
void SetCurrentSimThread(SimThread* thread);

// Stops a test binary whose test used the sim wrongly.
[[noreturn]] void TestMistake(const std::string& what);

// Counts the call and tells whether an injected fault makes it fail; the
// error to report is then in *error.
bool FaultDueLocked(World& world, Op op, DWORD* error);

void RecordMisuseLocked(World& world, const char* call, HANDLE handle, const char* problem);

HANDLE NewHandleLocked(World& world, std::shared_ptr<HandleEntry> entry);

// The open entry of `handle`; otherwise records a misuse by `call`, sets
// ERROR_INVALID_HANDLE and gives nullptr.
std::shared_ptr<HandleEntry> FindOpenHandleLocked(World& world, HANDLE handle, const char* call);
// The same, and the handle must be of `kind`.
std::shared_ptr<HandleEntry> UseHandleLocked(World& world, HANDLE handle, HandleKind kind,
                                             const char* call);

const char* KindName(HandleKind kind);

// The live process with this PID, or nullptr.
std::shared_ptr<SimProcess> FindLiveLocked(World& world, DWORD pid);

// Ends a live process and wakes whoever waits for it.
void EndProcessLocked(World& world, const std::shared_ptr<SimProcess>& process, DWORD exitCode,
                      std::uint64_t exitTime, std::uint64_t kernelTime, std::uint64_t userTime);

// Creates the program's folder when none exists yet.
const std::string& ProgramFolderLocked(World& world);
std::string ProgramPathLocked(World& world);  // "<folder>/Tolvane.exe"

// Whether the wait on this process or thread handle may return now.
bool SignalledLocked(const World& world, const HandleEntry& entry);

// An absolute, normalised UTF-8 path for a program's file name; "" for an
// empty name.
std::string ResolveLocked(const World& world, LPCWSTR name);
std::string NormalPath(const std::string& path);
// True for a path directly in "/", where nothing may be created or removed.
bool InRootFolder(const std::string& path);
// The Windows error a failed POSIX file call stands for.
DWORD ErrorFromErrno(int error, const std::string& path);

std::string ToUtf8(const WCHAR* text);
std::u16string ToUtf16(const std::string& text);

}  // namespace sim

// The simulated process table and the calls that query one process through
// its handle.
#include <algorithm>

#include "tests/sim/sim_world.h"

namespace sim {

namespace {

std::shared_ptr<SimProcess> LiveOrMistakeLocked(World& world, DWORD pid, const char* call) {
  std::shared_ptr<SimProcess> process = FindLiveLocked(world, pid);
  if (process == nullptr)
    TestMistake(std::string(call) + ": no live process with PID " + std::to_string(pid));
  return process;
}

void AddProcessLocked(World& world, DWORD pid, DWORD parentPid, const std::string& exeName,
                      const std::string& exePath, std::uint64_t creationTime) {
  if (FindLiveLocked(world, pid) != nullptr)
    TestMistake("AddProcess: PID " + std::to_string(pid) + " is alive already");
  auto process = std::make_shared<SimProcess>();
  process->pid = pid;
  process->parentPid = parentPid;
  process->exeName = exeName;
  process->exePath = exePath;
  process->creationTime = creationTime != 0 ? creationTime : world.clock;
  world.live.push_back(process);
  world.everyProcess.push_back(process);
  world.processList.reset();
}

bool MayQuery(const HandleEntry& entry) {
  return (entry.access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION)) != 0;
}

FILETIME ToFileTime(std::uint64_t value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

}  // namespace

std::shared_ptr<SimProcess> FindLiveLocked(World& world, DWORD pid) {
  for (const auto& process : world.live)
    if (process->pid == pid) return process;
  return nullptr;
}

void EndProcessLocked(World& world, const std::shared_ptr<SimProcess>& process, DWORD exitCode,
                      std::uint64_t exitTime, std::uint64_t kernelTime, std::uint64_t userTime) {
  process->ended = true;
  process->exitCode = exitCode;
  process->exitTime = exitTime;
  if (kernelTime != 0) process->kernelTime = kernelTime;
  if (userTime != 0) process->userTime = userTime;
  world.live.erase(std::remove(world.live.begin(), world.live.end(), process), world.live.end());
  world.processList.reset();
  process->changed.notify_all();
}

void AddProcess(DWORD pid, DWORD parentPid, const std::string& exeName, const std::string& exePath,
                std::uint64_t creationTime) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  AddProcessLocked(TheWorld(), pid, parentPid, exeName, exePath, creationTime);
}

void SetSelf(DWORD pid, DWORD parentPid, const std::string& exeName) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  world.selfPid = pid;
  AddProcessLocked(world, pid, parentPid, exeName, ProgramPathLocked(world), 0);
}

void EndProcess(DWORD pid, DWORD exitCode, std::uint64_t exitTime, std::uint64_t kernelTime,
                std::uint64_t userTime) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  std::shared_ptr<SimProcess> process = LiveOrMistakeLocked(world, pid, "EndProcess");
  EndProcessLocked(world, process, exitCode, exitTime != 0 ? exitTime : world.clock, kernelTime,
                   userTime);
}

void SetParent(DWORD pid, DWORD parentPid) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  LiveOrMistakeLocked(world, pid, "SetParent")->parentPid = parentPid;
  world.processList.reset();
}

void SetCpuTimes(DWORD pid, std::uint64_t kernelTime, std::uint64_t userTime) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  std::shared_ptr<SimProcess> process = LiveOrMistakeLocked(TheWorld(), pid, "SetCpuTimes");
  process->kernelTime = kernelTime;
  process->userTime = userTime;
}

void SetOpenable(DWORD pid, bool canOpen) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  LiveOrMistakeLocked(TheWorld(), pid, "SetOpenable")->openable = canOpen;
}

bool IsAlive(DWORD pid) {
  std::lock_guard<std::mutex> lock(WorldMutex());
  return FindLiveLocked(TheWorld(), pid) != nullptr;
}

}  // namespace sim

DWORD GetCurrentProcessId(void) {
  std::lock_guard<std::mutex> lock(sim::WorldMutex());
  return sim::TheWorld().selfPid;
}

HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD pid) {
  using namespace sim;
  static_cast<void>(inherit);
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  if (FaultDueLocked(world, Op::OpenProcess, &error)) {
    SetLastError(error);
    return nullptr;
  }
  std::shared_ptr<SimProcess> process = pid != 0 ? FindLiveLocked(world, pid) : nullptr;
  if (process == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!process->openable) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto entry = std::make_shared<HandleEntry>();
  entry->kind = HandleKind::Process;
  entry->process = process;
  entry->access = access;
  return NewHandleLocked(world, entry);
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  bool faulted = FaultDueLocked(world, Op::GetExitCodeProcess, &error);
  std::shared_ptr<HandleEntry> entry =
      UseHandleLocked(world, process, HandleKind::Process, "GetExitCodeProcess");
  if (entry == nullptr) return FALSE;
  if (!MayQuery(*entry)) error = ERROR_ACCESS_DENIED;
  if (exitCode == nullptr) error = ERROR_INVALID_PARAMETER;
  if (faulted || error != 0) {
    SetLastError(error);
    return FALSE;
  }
  *exitCode = entry->process->ended ? entry->process->exitCode : STILL_ACTIVE;
  return TRUE;
}

BOOL GetProcessTimes(HANDLE process, FILETIME* creation, FILETIME* exit, FILETIME* kernel,
                     FILETIME* user) {
  using namespace sim;
  std::lock_guard<std::mutex> lock(WorldMutex());
  World& world = TheWorld();
  DWORD error = 0;
  bool faulted = FaultDueLocked(world, Op::GetProcessTimes, &error);
  std::shared_ptr<HandleEntry> entry =
      UseHandleLocked(world, process, HandleKind::Process, "GetProcessTimes");
  if (entry == nullptr) return FALSE;
  if (!MayQuery(*entry)) error = ERROR_ACCESS_DENIED;
  if (creation == nullptr || exit == nullptr || kernel == nullptr || user == nullptr)
    error = ERROR_INVALID_PARAMETER;
  if (faulted || error != 0) {
    SetLastError(error);
    return FALSE;
  }
  const SimProcess& simulated = *entry->process;
  *creation = ToFileTime(simulated.creationTime);
  *exit = ToFileTime(simulated.ended ? simulated.exitTime : 0);
  *kernel = ToFileTime(simulated.kernelTime);
  *user = ToFileTime(simulated.userTime);
  return TRUE;
}

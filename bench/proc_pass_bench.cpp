// One pass over /proc, and what it is made of, with about 575 processes
// alive: the stat file of every process (the floor any monitor pays), the
// executable links (the price of real executable names), and the snapshot
// as the scan sees it.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "bench/population.h"
#include "platform/linux/proc_files.h"
#include "platform/process_services.h"

namespace {

constexpr int MachineProcesses = 575;

// Calls visit(procFolder, pid) for every process listed in /proc.
template <typename Visit>
int ForEachProcess(Visit visit) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  int count = 0;
  while (const dirent* item = readdir(proc)) {
    const char* name = item->d_name;
    if (name[0] < '1' || name[0] > '9') continue;
    visit(dirfd(proc), static_cast<DWORD>(std::strtoul(name, nullptr, 10)));
    ++count;
  }
  closedir(proc);
  return count;
}

void StatFilesOnly(benchmark::State& state) {
  UseBackground(MachineProcesses);
  int processes = 0;
  for (auto _ : state) {
    processes = ForEachProcess([](int folder, DWORD pid) {
      ProcStat stat;
      benchmark::DoNotOptimize(ReadProcStat(folder, pid, &stat));
    });
  }
  state.counters["processes"] = processes;
}
BENCHMARK(StatFilesOnly)->Unit(benchmark::kMillisecond);

void ExecutableLinksOnly(benchmark::State& state) {
  UseBackground(MachineProcesses);
  int processes = 0;
  for (auto _ : state) {
    processes = ForEachProcess([](int folder, DWORD pid) {
      char path[PATH_MAX];
      benchmark::DoNotOptimize(ReadExecutablePath(folder, pid, path, sizeof path));
    });
  }
  state.counters["processes"] = processes;
}
BENCHMARK(ExecutableLinksOnly)->Unit(benchmark::kMillisecond);

int WalkSnapshot(HANDLE snapshot) {
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    ++count;
  CloseHandle(snapshot);
  return count;
}

// A snapshot taken while no other is open is a new pass: what the first
// snapshot of a scan costs.
void ProcessPass(benchmark::State& state) {
  UseBackground(MachineProcesses);
  int entries = 0;
  for (auto _ : state) entries = WalkSnapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  state.counters["processes"] = entries;
}
BENCHMARK(ProcessPass)->Unit(benchmark::kMillisecond);

// Snapshots taken and walked while a level's snapshot stays open, as the
// scan takes them for child counts: served from the scan's pass, and a new
// pass whenever the one in use grows too old.
void ProcessSnapshotInScan(benchmark::State& state) {
  UseBackground(MachineProcesses);
  HANDLE level = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  int entries = 0;
  for (auto _ : state) entries = WalkSnapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  CloseHandle(level);
  state.counters["processes"] = entries;
}
BENCHMARK(ProcessSnapshotInScan)->Unit(benchmark::kMicrosecond);

}  // namespace

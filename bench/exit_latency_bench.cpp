// Exit noticed: from a watched process's end to its record ended
// (HandleClosed 1) with its exit code. Each sample is a real child that
// stamps the monotonic clock just before it exits; the record is watched
// as the scan watches a new process, and this process reaps the child at
// once, as a shell waiting for its job does.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "bench/population.h"
#include "bench/record_fill.h"
#include "platform/process_services.h"
#include "tracking/exit_watch.h"
#include "tracking/process_table.h"

namespace {

std::int64_t MonotonicNanoseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void PauseMicroseconds(long microseconds) {
  timespec pause{0, microseconds * 1000};
  nanosleep(&pause, nullptr);
}

// A child that waits for a byte on go, then writes its end time to stamp
// and exits with code.
pid_t StartStampingChild(int go, int stamp, int code) {
  pid_t child = fork();
  if (child != 0) return child;
  char byte;
  if (read(go, &byte, 1) != 1) _exit(120);
  std::int64_t now = MonotonicNanoseconds();
  if (write(stamp, &now, sizeof now) != static_cast<ssize_t>(sizeof now)) _exit(121);
  _exit(code);
}

constexpr std::int64_t NotWatched = -1;
constexpr std::int64_t NeverEnded = -2;
constexpr std::int64_t WrongCode = -3;

// One sample's latency in nanoseconds, or what went wrong.
std::int64_t MeasureOneExit(int code) {
  int go[2], stamp[2];
  if (pipe(go) != 0 || pipe(stamp) != 0) return -1;
  const pid_t child = StartStampingChild(go[0], stamp[1], code);
  close(go[0]);
  close(stamp[1]);
  std::thread reaper([child] {
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  });

  const DWORD index =
      GetProcessIndex(WSTR("exit-probe"), static_cast<DWORD>(getpid()), static_cast<DWORD>(child));
  ProcessData& record = DataArray[index];
  record.Valid = 1;
  record.ParentID = static_cast<DWORD>(getpid());
  record.ProcessID = static_cast<DWORD>(child);
  record.Handle =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(child));
  const bool watched = record.Handle != nullptr && StartWatch(index);
  PauseMicroseconds(2000);  // the waiter is blocked by now, as for a long-watched process

  std::int64_t ended = 0;
  char byte = 1;
  if (write(go[1], &byte, 1) == 1 && read(stamp[0], &ended, sizeof ended) == sizeof ended &&
      watched) {
    for (int polls = 0; polls < 200000 && ReadRecord(index).HandleClosed != 1; ++polls)
      PauseMicroseconds(20);
  }
  const std::int64_t seen = MonotonicNanoseconds();
  reaper.join();
  close(go[1]);
  close(stamp[0]);
  const ProcessData result = ReadRecord(index);
  if (!watched && record.Handle != nullptr) CloseHandle(record.Handle);
  ClearRecords();
  if (!watched || ended == 0) return NotWatched;
  if (result.HandleClosed != 1) return NeverEnded;
  if (result.ExitCode != static_cast<DWORD>(code)) return WrongCode;
  return seen - ended;
}

void ExitNoticed(benchmark::State& state) {
  EndTree();
  const int samples = static_cast<int>(state.range(0));
  std::vector<double> latencies;
  int unwatched = 0, lost = 0, wrong = 0;
  for (auto _ : state) {
    for (int i = 0; i < samples; ++i) {
      const std::int64_t latency = MeasureOneExit(1 + i % 200);
      if (latency == NotWatched)
        ++unwatched;
      else if (latency == NeverEnded)
        ++lost;
      else if (latency == WrongCode)
        ++wrong;
      else
        latencies.push_back(static_cast<double>(latency) / 1e6);
    }
  }
  std::sort(latencies.begin(), latencies.end());
  auto percentile = [&](double p) {
    if (latencies.empty()) return -1.0;
    std::size_t at = static_cast<std::size_t>(p * static_cast<double>(latencies.size() - 1) + 0.5);
    return latencies[at];
  };
  state.counters["median_ms"] = percentile(0.5);
  state.counters["p99_ms"] = percentile(0.99);
  state.counters["max_ms"] = percentile(1.0);
  state.counters["not_watched"] = unwatched;
  state.counters["never_ended"] = lost;
  state.counters["wrong_code"] = wrong;
}
BENCHMARK(ExitNoticed)->Arg(300)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// One page of the table drawn, with 1000 records in the table and the
// output going to /dev/null.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "bench/population.h"
#include "bench/record_fill.h"
#include "control/settings.h"
#include "presentation/console_view.h"
#include "tracking/process_table.h"

namespace {

void DrawPage(benchmark::State& state) {
  EndTree();
  FillRecords(1000);
  DumpNumber = 20;
  CurrentPage = static_cast<DWORD>(state.range(0));
  std::fflush(stdout);
  const int kept = dup(STDOUT_FILENO);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  dup2(null, STDOUT_FILENO);
  for (auto _ : state) DumpProcessList();
  dup2(kept, STDOUT_FILENO);
  close(kept);
  close(null);
  CurrentPage = 0;
  ClearRecords();
}
BENCHMARK(DrawPage)->Arg(0)->Arg(49)->Unit(benchmark::kMicrosecond);

}  // namespace

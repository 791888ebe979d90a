// A save of 1000 records as the program makes it: the whole text built,
// written to a new file, flushed to disk and renamed over the log. The log
// goes to a temporary folder, not beside the benchmark's executable.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "bench/population.h"
#include "bench/record_fill.h"
#include "control/settings.h"
#include "platform/wide_text.h"
#include "presentation/log_file.h"
#include "tracking/process_table.h"

namespace {

void SaveLog(benchmark::State& state) {
  EndTree();
  FillRecords(static_cast<DWORD>(state.range(0)));
  char folder[] = "/tmp/tolvane-bench-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    state.SkipWithError("no temporary folder");
    return;
  }
  const std::string log = std::string(folder) + "/Tolvane0.log";
  // An absolute name: the save changes to the executable's folder first.
  Utf8ToUtf16(log.c_str(), szLogFileName, MAX_PATH);
  GetSystemTime(&tProgramStart);
  int failures = 0;
  for (auto _ : state)
    if (blFileSave() != SaveWritten) ++failures;
  state.counters["failures"] = failures;
  state.counters["records"] = RecordCount;
  std::remove(log.c_str());
  rmdir(folder);
  ClearRecords();
}
BENCHMARK(SaveLog)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

// The benchmarks' entry: populations live across the benchmarks and are
// ended by their process groups before the program leaves.
#include <benchmark/benchmark.h>

#include "bench/population.h"

int main(int argc, char** argv) {
  RaiseDescriptorLimit();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  EndAllPopulations();
  return 0;
}

#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "bench/PackageGenerator.h"

namespace qsi::bench {

// Reports the time per file, and the package size for the O(N) fit.
inline void reportPerFile(benchmark::State& state, std::size_t files) {
  state.SetComplexityN(static_cast<std::int64_t>(files));
  state.counters["per_file"] =
      benchmark::Counter(static_cast<double>(files), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kInvert);
}

// Runs each named benchmark on packages of 1,000, 10,000 and 100,000 files,
// made on first use by a `Sites` object in a temporary folder.
template <typename Sites>
int runOnPackageSizes(
    int argc, char** argv,
    const std::vector<std::pair<const char*, void (*)(benchmark::State&, Sites&)>>& benchmarks) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  const TemporaryFolder root("qsi-bench-");
  Sites sites(root.path());
  for (const auto& [name, run] : benchmarks)
    benchmark::RegisterBenchmark(name, [&sites, run = run](benchmark::State& s) { run(s, sites); })
        ->Arg(1000)
        ->Arg(10000)
        ->Arg(100000)
        ->Unit(benchmark::kMillisecond)
        ->Complexity(benchmark::oN);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace qsi::bench

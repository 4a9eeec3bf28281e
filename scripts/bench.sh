#!/usr/bin/env bash
# The benchmark command: installs what is needed, builds a Release tree into
# build-bench/ (or $QSI_BENCH_BUILD_DIR) with the benchmarks, then measures
# each phase of the installer against the floor of its own work on sites of
# 1,000, 10,000 and 100,000 files (or the sizes given as arguments). The
# sites are generated below the system's temporary folder and removed
# afterwards; at 100,000 files the run takes many minutes.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
"$here/scripts/install-deps.sh"
build=${QSI_BENCH_BUILD_DIR:-$here/build-bench}
QSI_BUILD_DIR=$build QSI_BUILD_TYPE=Release "$here/scripts/build.sh" \
  -DQSI_BUILD_BENCH=ON -DQSI_BUILD_TESTS=OFF -DQSI_BUILD_QT=OFF
SECONDS=0
"$build/bench/bench_phases" "$@"
"$build/bench/bench_phases" --history
echo "The measurements took ${SECONDS} s."

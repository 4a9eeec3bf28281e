#!/usr/bin/env bash
# Builds the libFuzzer targets (clang 14, address and undefined-behaviour
# sanitizers) into build-fuzz/ and runs each on its corpus in
# tests/fuzz/corpus/<target>/, one after the other.
#   scripts/fuzz.sh [SECONDS]   fuzz each target for SECONDS (default 60)
#   scripts/fuzz.sh --once      run each target once over its corpus; fail on a crash
# Inputs found while fuzzing go to build-fuzz/corpus/<target>/, crashing
# inputs to build-fuzz/crashes/<target>/; the repository's corpus is only read.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${QSI_FUZZ_BUILD_DIR:-$here/build-fuzz}
seconds=60
once=false
case ${1:-} in
  --once) once=true ;;
  "") ;;
  # 0 would tell libFuzzer to run for ever.
  0 | *[!0-9]*) echo "usage: $0 [SECONDS | --once]" >&2; exit 2 ;;
  *) seconds=$1 ;;
esac

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++-14 -DQSI_FUZZ=ON >/dev/null
cmake --build "$build" -j "${QSI_JOBS:-2}"

# The longest input worth trying: a registry file or definition file of a few
# pages, a Sequence.txt of some dozens of lines, one line or name elsewhere.
declare -A max_len=(
  [RegistryFileFuzz]=8192 [IniFuzz]=4096 [SequenceFuzz]=2048 [ScriptHeaderFuzz]=256
  [VersionFuzz]=128 [ConnectionTextFuzz]=512 [NamesFuzz]=512 [JournalFuzz]=4096
)
failed=()
for corpus in "$here"/tests/fuzz/corpus/*/; do
  target=$(basename "$corpus")
  crashes=$build/crashes/$target
  mkdir -p "$crashes" "$build/corpus/$target"
  options=(-max_len="${max_len[$target]:-1024}" -artifact_prefix="$crashes/")
  if $once; then
    if "$build/tests/fuzz/$target" "${options[@]}" -runs=0 "$corpus" 2>"$crashes/log.txt"; then
      echo "$target: $(grep -o 'Done [0-9]* runs' "$crashes/log.txt")"
    else
      cat "$crashes/log.txt" >&2
      failed+=("$target")
    fi
  else
    echo "== $target, ${seconds} s"
    "$build/tests/fuzz/$target" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      "$build/corpus/$target" "$corpus" || failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Failed: ${failed[*]} (inputs in $build/crashes/)" >&2
  exit 1
fi

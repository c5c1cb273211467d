#!/usr/bin/env bash
# A documented fuzzing run: builds every fuzz target with libFuzzer, ASan and
# UBSan (clang) in build/fuzz and runs each on a copy of its seed corpus until
# it has executed 1,000,000 inputs or SECONDS have passed (default 600), JOBS
# targets at a time (default 2), niced, each input at most 10 s. Logs, grown corpora and crash files
# stay under build/fuzz/runs/; the last lines print each target's executions,
# CPU seconds and executions per CPU second.
#   bash scripts/fuzz.sh [SECONDS] [JOBS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-600}
jobs=${2:-2}
shift $(( $# > 2 ? 2 : $# ))
cmake -S . -B build/fuzz -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DKRV_LIBFUZZER=ON -DKRV_SANITIZE=ON -DKRV_BENCH=OFF -DKRV_WERROR=ON > /dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  mapfile -t targets < <(ls tests/fuzz/*_fuzz.cpp | sed 's|tests/fuzz/||; s|_fuzz.cpp||')
fi
cmake --build build/fuzz --target "${targets[@]/#/fuzz_}"
runs=build/fuzz/runs
mkdir -p "$runs"
one() {
  local t=$1
  mkdir -p "$runs/$t"
  local status=0
  nice -n 15 /usr/bin/time -f "%U %S" -o "$runs/$t.time" env EGL_PLATFORM=surfaceless ASAN_OPTIONS=allocator_may_return_null=1 \
    "build/fuzz/tests/fuzz/fuzz_$t" -runs=1000000 -max_total_time="$secs" -timeout=10 -close_fd_mask=1 \
    -print_final_stats=1 -artifact_prefix="$runs/$t/" "$runs/$t" "tests/fuzz/corpus/$t" \
    > "$runs/$t.log" 2>&1 || status=$?
  local n
  n=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$runs/$t.log" | awk '{print $2}' || true)
  local cpu
  cpu=$(awk 'NF == 2 {print $1 + $2}' "$runs/$t.time" 2>/dev/null | tail -n1)
  echo "$t: ${n:-?} executions, ${cpu:-?} CPU-s, $(awk -v n="${n:-0}" -v c="${cpu:-0}" 'BEGIN {printf "%d", (c > 0 ? n / c : 0)}') per CPU-s, exit $status"
}
# A pool of JOBS runs: the next target starts as soon as one ends.
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  one "$t" &
  running=$((running + 1))
done
wait

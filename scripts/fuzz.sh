#!/usr/bin/env bash
# A documented fuzzing run: builds every fuzz target with libFuzzer, ASan and
# UBSan (clang) in build/fuzz and runs each on a copy of its seed corpus until
# it has executed 1,000,000 inputs or SECONDS have passed (default 600), JOBS
# targets at a time (default 2), niced. Logs, grown corpora and crash files
# stay under build/fuzz/runs/; the last lines print each target's executions.
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
  nice -n 15 env EGL_PLATFORM=surfaceless ASAN_OPTIONS=allocator_may_return_null=1 \
    "build/fuzz/tests/fuzz/fuzz_$t" -runs=1000000 -max_total_time="$secs" -timeout=10 -close_fd_mask=1 \
    -print_final_stats=1 -artifact_prefix="$runs/$t/" "$runs/$t" "tests/fuzz/corpus/$t" \
    > "$runs/$t.log" 2>&1 || status=$?
  local n
  n=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$runs/$t.log" | awk '{print $2}' || true)
  echo "$t: ${n:-?} executions, exit $status"
}
for ((i = 0; i < ${#targets[@]}; i += jobs)); do
  for t in "${targets[@]:i:jobs}"; do one "$t" & done
  wait
done

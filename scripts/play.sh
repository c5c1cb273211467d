#!/usr/bin/env bash
# Installs what building and running need, builds the program (no tests, no
# benchmarks) and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKRV_TESTS=OFF -DKRV_BENCH=OFF
cmake --build build/release
exec bash scripts/run.sh "$@"

#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer (warnings are errors) and runs every test once.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
build=${KRV_TEST_BUILD:-build/asan}
# Line tables (-g1) are all the sanitizers' reports need; full debug
# information would cost a quarter of the build's time.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKRV_SANITIZE=ON -DCMAKE_CXX_FLAGS=-O1 -DKRV_WERROR=ON \
  -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1
cmake --build "$build"
cd "$build"
# Every test sets the environment it needs through its ctest properties.
# The full shader sweep (label long) runs apart: ctest -L long.
ctest --output-on-failure -j "$(nproc)" --timeout 300 -LE long

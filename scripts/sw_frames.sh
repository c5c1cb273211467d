#!/usr/bin/env bash
# Draws every trace of the repository with the software back end and keeps the
# frames, or compares two such sets byte for byte.
#   scripts/sw_frames.sh save GLREPLAY DIR    frames of every trace into DIR
#   scripts/sw_frames.sh compare DIR1 DIR2    exit 1 when any frame differs
# Each trace is drawn at 256 x 256, 480 x 320 and 1024 x 600, and at 1024 x
# 600 held in each orientation.
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
save)
    glreplay=$2 out=$3
    mkdir -p "$out"
    n=0
    for t in tests/gl/traces/*.trace tests/gl/software/traces/*.trace tests/gl/es2_traces/*.trace; do
        name=$(dirname "${t#tests/gl/}" | tr / _)_$(basename "$t" .trace)
        for size in 256x256 480x320 1024x600; do
            EGL_PLATFORM=surfaceless "$glreplay" "$t" --backend sw --size $size --out "$out/${name}_$size.png" >/dev/null
            n=$((n + 1))
        done
        for o in 2 4 8; do
            EGL_PLATFORM=surfaceless "$glreplay" "$t" --backend sw --orient $o --out "$out/${name}_o$o.png" >/dev/null
            n=$((n + 1))
        done
    done
    echo "$n frames in $out"
    ;;
compare)
    a=$2 b=$3 bad=0 n=0
    for f in "$a"/*.png; do
        n=$((n + 1))
        if ! cmp -s "$f" "$b/$(basename "$f")"; then
            echo "differs: $(basename "$f")"
            bad=1
        fi
    done
    [ "$(ls "$a" | wc -l)" = "$(ls "$b" | wc -l)" ] || { echo "frame counts differ"; bad=1; }
    [ $bad = 0 ] && echo "$n frames identical"
    exit $bad
    ;;
*)
    echo "usage: $0 save GLREPLAY DIR | compare DIR1 DIR2" >&2
    exit 2
    ;;
esac

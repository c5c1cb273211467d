#!/usr/bin/env bash
# Runs the built program (build/release/korvanth) in its run directory,
# build/run, which holds logs/ (the log file), data/ (the writable directory)
# and app/native/ (the installation directory, which gets the demo archive
# data.vfs built under build/release/demo/). Without a DISPLAY the program
# runs headless on the virtual clock on the demo event script, which plays
# the first campaign's first mission, and saves its frames under
# build/run/shots: scripts/demo-events.txt creates a pilot first, and
# scripts/demo-events-returning.txt is used once the run directory has one
# (data/usr/profiles.cfg). With a DISPLAY it opens a window. Arguments are
# passed on (korvanth --help lists them).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exe=${KRV_EXE:-$root/build/release/korvanth}
run=${KRV_RUN_DIR:-$root/build/run}
if [ ! -x "$exe" ]; then
  echo "run.sh: $exe is not built (bash scripts/play.sh builds it)" >&2
  exit 1
fi
mkdir -p "$run/logs" "$run/data" "$run/app/native"
# The demo archive built next to the program goes into the installation
# directory as a link; a data.vfs of one's own (a plain file) is left alone.
archive=${KRV_ARCHIVE:-$(dirname "$exe")/demo/data.vfs}
if [ -f "$archive" ] && { [ -L "$run/app/native/data.vfs" ] || [ ! -e "$run/app/native/data.vfs" ]; }; then
  ln -sfn "$(cd "$(dirname "$archive")" && pwd)/$(basename "$archive")" "$run/app/native/data.vfs"
fi
cd "$run"
args=()
shots=""
mode=${KRV_MODE:-}
for a in "$@"; do
  case $a in
    --headless) mode=headless ;;
    --window) mode=window ;;
  esac
done
if [ -z "$mode" ] && [ -z "${DISPLAY:-}" ]; then
  mode=headless
  args+=(--headless)
fi
if [ "$mode" = headless ]; then
  export EGL_PLATFORM=${EGL_PLATFORM:-surfaceless}
  script_given=${KRV_SCRIPT:-}
  clock_given=${KRV_CLOCK:-}
  for a in "$@"; do
    case $a in
      --script) script_given=yes ;;
      --clock) clock_given=yes ;;
    esac
  done
  if [ -z "$script_given" ]; then
    shots=$run/shots
    rm -rf "$shots"
    demo=$root/scripts/demo-events.txt
    [ ! -e data/usr/profiles.cfg ] || demo=$root/scripts/demo-events-returning.txt
    args+=(--script "$demo" --shots "$shots")
    # The script's touches are timed in frames: the virtual clock makes
    # every run the same.
    [ -n "$clock_given" ] || args+=(--clock virtual)
  fi
fi
echo "run.sh: running in $run (log: $run/logs/vornlog.txt)"
status=0
"$exe" "${args[@]}" "$@" || status=$?
if [ -n "$shots" ] && [ -d "$shots" ]; then
  echo "run.sh: $(ls "$shots" | wc -l) frames saved in $shots"
fi
exit $status

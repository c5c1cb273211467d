#!/usr/bin/env bash
# The program as the README starts it (scripts/run.sh), with the demo archive:
# headless where there is no display (on the demo event script), and in a
# window on an Xvfb server of its own (ended by a frame limit past the intro's
# twelve seconds). Each run must
# open the archive, reach the main-menu state, take the exit there and end
# cleanly.
# The headless run's frames of the intro (the maker's picture, the title)
# and of the main menu are kept in OUTDIR (when given) for a person to look
# at.
#   run_program.sh KORVANTH DATA.VFS [OUTDIR]
set -euo pipefail
exe=$(realpath "$1")
archive=$(realpath "$2")
keep=${3:-}
root=$(cd "$(dirname "$0")/../../.." && pwd)
top=$(mktemp -d)
xvfb=0
cleanup() {
  if [ "$xvfb" != 0 ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
  rm -rf "$top"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; cat "$log" 2>/dev/null; exit 1; }
# A returning player (one empty profile): start-up goes on to the menu.
seed() {
  mkdir -p "$1/data/usr"
  printf '\001\000' > "$1/data/usr/profiles.cfg"
  { head -c 22 /dev/zero; printf '\004'; head -c 8 /dev/zero; } > "$1/data/usr/profile_0"
}
seed "$top/headless"
seed "$top/window"

check() {
  log=$1/logs/vornlog.txt
  [ -f "$log" ] || fail "$2: no log"
  grep -q "app: archive data.vfs open" "$log" || fail "$2: the demo archive did not open"
  grep -q "app: state 2 -> 3" "$log" || fail "$2: the menu state was not reached"
  [ "$(grep -c 'app: exit event in state 3' "$log")" = 1 ] || fail "$2: no single exit in the menu state"
  grep -q "app: released" "$log" || fail "$2: not released"
}

# Headless: no DISPLAY, the demo script.
status=0
env -u DISPLAY KRV_EXE="$exe" KRV_RUN_DIR="$top/headless" KRV_ARCHIVE="$archive" \
  bash "$root/scripts/run.sh" --clock virtual > "$top/headless.txt" 2>&1 || status=$?
[ "$status" = 0 ] || { cat "$top/headless.txt"; fail "headless run: exit status $status"; }
check "$top/headless" headless
[ "$(ls "$top/headless/shots" | wc -l)" -ge 40 ] || fail "headless: too few frames saved"
if [ -n "$keep" ]; then
  mkdir -p "$keep"
  for shot in intro_maker:10 intro_title:25 main_menu:75; do
    cp "$(printf '%s/headless/shots/frame%05d.png' "$top" "${shot#*:}")" "$keep/${shot%%:*}.png" ||
      fail "headless: no frame for ${shot%%:*}"
  done
  [ "$(md5sum "$keep"/*.png | cut -d' ' -f1 | sort -u | wc -l)" = 3 ] || fail "headless: two kept frames are the same"
fi

# Windowed, on Xvfb (skipped when it cannot start).
Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp 9> "$top/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 200); do
  grep -q . "$top/display" 2>/dev/null && break
  sleep 0.1
done
number=$(head -n1 "$top/display" 2>/dev/null || true)
if [ -z "$number" ]; then
  echo "ok: headless; Xvfb did not start, window run skipped"
  exit 0
fi
status=0
DISPLAY=":$number" KRV_EXE="$exe" KRV_RUN_DIR="$top/window" KRV_ARCHIVE="$archive" \
  bash "$root/scripts/run.sh" --window --frames 560 --clock virtual > "$top/window.txt" 2>&1 || status=$?
[ "$status" = 0 ] || { cat "$top/window.txt"; fail "window run: exit status $status"; }
check "$top/window" window
grep -q "app: started on a 1024 x 600 display" "$log" || fail "window: not the 1024 x 600 window"
echo "ok: headless and windowed runs"

#!/usr/bin/env bash
# The program as the README starts it (scripts/run.sh), with the demo archive.
# Headless (no display, the demo event script, run.sh's own clock choice):
#   - fresh: an empty run directory; the pilot is typed on the on-screen
#     keyboard, the main menu leads to the first campaign's first level, the
#     level loads and is played (flown, fire held) and the exit comes in
#     flight; then again in the same directory, now with the pilot: no
#     profile screens, the same mission;
#   - seeded: a returning player's profile made by hand (the first level
#     open, no settings yet, so the tutorial question is asked, and answered
#     by the later tap on its NO): the mission;
#   - won: a returning player who has won the first level (the second is
#     open too) and answered the tutorial question (the settings a fresh
#     run writes, which the fresh part checks): the first level all the same;
#   - window: on an Xvfb server of its own (ended by a frame limit past the
#     intro's twelve seconds), with a seeded profile: the menu state is
#     reached and the exit taken there.
# Every run opens the archive and ends cleanly. Each PART stands alone (fresh
# is its two runs, one after the other), so that the parts can run side by
# side. Frames of the fresh run (the new pilot's name, the main menu, the
# campaigns page, the mission's orders, the flight) are kept in OUTDIR for a
# person to look at.
#   run_program.sh KORVANTH DATA.VFS OUTDIR PART   (PART: fresh, seeded, won, window)
set -euo pipefail
exe=$(realpath "$1")
archive=$(realpath "$2")
keep=$3
part=$4
root=$(cd "$(dirname "$0")/../../.." && pwd)
top=$(mktemp -d)
xvfb=0
cleanup() {
  if [ "$xvfb" != 0 ]; then kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; fi
  rm -rf "$top"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; cat "$log" 2>/dev/null; exit 1; }
# seed DIR LEVELS: a returning player (one profile; LEVELS of the first
# campaign open: 1 the first level, 2 the first won and the second open):
# start-up goes on to the menu.
seed() {
  mkdir -p "$1/data/usr"
  printf '\001\000' > "$1/data/usr/profiles.cfg"
  { head -c 22 /dev/zero; printf '\004'; printf "\\$(printf %03o "$2")"; head -c 7 /dev/zero; } > "$1/data/usr/profile_0"
}
# The settings a new pilot's first run writes once the tutorial question is
# answered: every option at its default, the tutorial offered.
answered_settings() {
  printf '\001\252\252\000\000\001\001\000\050\000\001\177'
  head -c 34 /dev/zero
}

# check DIR NAME STATE: the archive opened, the menu was reached, the one exit
# came in STATE, the program released everything.
check() {
  log=$1/logs/vornlog.txt
  [ -f "$log" ] || fail "$2: no log"
  grep -q "app: archive data.vfs open" "$log" || fail "$2: the demo archive did not open"
  grep -q "app: state 2 -> 3" "$log" || fail "$2: the menu state was not reached"
  [ "$(grep -c 'app: exit event in state' "$log")" = 1 ] &&
    grep -q "app: exit event in state $3\$" "$log" || fail "$2: no single exit in state $3"
  grep -q "app: released" "$log" || fail "$2: not released"
}
# played DIR NAME: the first campaign's first level was started from the
# menu, loaded and played.
played() {
  log=$1/logs/vornlog.txt
  grep -q "app: menu: level 0 of the chosen group" "$log" || fail "$2: the first level was not chosen"
  grep -q "app: state 3 -> 4" "$log" || fail "$2: the level was not started"
  grep -q "game: level 0 loaded" "$log" || fail "$2: the level did not load"
  grep -q "app: state 4 -> 5" "$log" || fail "$2: the level was not played"
  check "$1" "$2" 5
  [ -f "$1/shots/frame01000.png" ] || fail "$2: too few frames saved"
}
# headless NAME: run.sh without a display, on the demo event script; the
# run's exit status is checked. Of its frames only those the checks read are
# saved: the fresh run's kept ones and the 1000th (at least that many).
headless() {
  env -u DISPLAY -u KRV_CLOCK KRV_AUDIO=null KRV_EXE="$exe" KRV_RUN_DIR="$top/$1" KRV_ARCHIVE="$archive" \
    KRV_SHOT_FRAMES=38,110,690,730,900,1000 \
    bash "$root/scripts/run.sh" > "$top/$1.txt" 2>&1 || { echo "exit status $?" >> "$top/$1.txt"; }
  grep -q 'exit status' "$top/$1.txt" && { cat "$top/$1.txt"; fail "$1: $(tail -1 "$top/$1.txt")"; }
  return 0
}
# returning NAME: a run in a directory that has a pilot already.
returning() {
  headless "$1"
  log=$top/$1/logs/vornlog.txt
  grep -q "app: state 1 -> 2" "$log" || fail "$1: start-up did not go on to the menu"
  ! grep -q "profiles: profile .* made" "$log" || fail "$1: a profile was made"
  played "$top/$1" "$1 (returning)"
}

case $part in
fresh)
  headless fresh
  log=$top/fresh/logs/vornlog.txt
  grep -q "app: state 1 -> 11" "$log" || fail "fresh: the profile screens did not open"
  grep -q 'profiles: profile 0 "PILOT" made' "$log" || fail "fresh: the pilot was not made"
  grep -q "app: state 10 -> 2" "$log" || fail "fresh: the profile screens did not close"
  played "$top/fresh" fresh
  mkdir -p "$keep"
  kept=()
  for shot in new_pilot:38 main_menu:110 campaigns:690 mission_orders:730 flight:900; do
    cp "$(printf '%s/fresh/shots/frame%05d.png' "$top" "${shot#*:}")" "$keep/${shot%%:*}.png" ||
      fail "fresh: no frame for ${shot%%:*}"
    kept+=("$keep/${shot%%:*}.png")
  done
  [ "$(md5sum "${kept[@]}" | cut -d' ' -f1 | sort -u | wc -l)" = 5 ] || fail "fresh: two kept frames are the same"
  python3 "$root/tests/game/frontend/no_key_colour.py" "${kept[@]}" || fail "fresh: the colour key on screen"
  cmp -s "$top/fresh/data/usr/settings.nil" <(answered_settings) ||
    fail "fresh: the settings written are not the defaults with the tutorial answered"
  # Again in the same directory: the pilot is there, the question answered.
  returning fresh
  grep -q "app: state 3 -> 18" "$top/fresh/logs/vornlog.txt" && fail "fresh (returning): the tutorial question was asked twice"
  echo "ok: a new pilot's first run and the second"
  ;;
seeded)
  seed "$top/seeded" 1
  returning seeded
  grep -q "app: state 3 -> 18" "$top/seeded/logs/vornlog.txt" || fail "seeded: the tutorial question was not asked"
  # The tap that asked it is not its answer: the later tap on NO is.
  grep -q "app: tutorial offer answered no$" "$log" && grep -q "app: state 18 -> 3" "$log" ||
    fail "seeded: the tutorial question was not answered no"
  echo "ok: a returning player's first mission, the tutorial question asked"
  ;;
won)
  seed "$top/won" 2
  answered_settings > "$top/won/data/usr/settings.nil"
  returning won
  grep -q "app: state 3 -> 18" "$top/won/logs/vornlog.txt" && fail "won: the tutorial question was asked again"
  echo "ok: a player who won the first level plays it again"
  ;;
window)
  seed "$top/window" 0
  # On Xvfb (skipped when it cannot start).
  Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp 9> "$top/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 200); do
    grep -q . "$top/display" 2>/dev/null && break
    sleep 0.1
  done
  number=$(head -n1 "$top/display" 2>/dev/null || true)
  if [ -z "$number" ]; then
    echo "ok: Xvfb did not start, window run skipped"
    exit 0
  fi
  status=0
  DISPLAY=":$number" KRV_EXE="$exe" KRV_RUN_DIR="$top/window" KRV_ARCHIVE="$archive" \
    bash "$root/scripts/run.sh" --window --frames 560 --clock virtual > "$top/window.txt" 2>&1 || status=$?
  [ "$status" = 0 ] || { cat "$top/window.txt"; fail "window run: exit status $status"; }
  check "$top/window" window 3
  grep -q "app: started on a 1024 x 600 display" "$log" || fail "window: not the 1024 x 600 window"
  echo "ok: the windowed run"
  ;;
*)
  echo "run_program.sh: unknown part $part" >&2
  exit 2
  ;;
esac

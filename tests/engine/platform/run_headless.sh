#!/usr/bin/env bash
# Runs the program headless on the virtual clock with short event scripts in
# scratch directories, with the demo archive as its installation data, and
# checks what it leaves behind: the application's state walk and events in
# the log, the frames it saved, the fatal path without data, frame pacing,
# and that two runs of the same script give the same log and the same frames
# byte for byte.
#   run_headless.sh KORVANTH DATA.VFS
set -euo pipefail
exe=$(realpath "$1")
archive=$(realpath "$2")
export EGL_PLATFORM=${EGL_PLATFORM:-surfaceless}
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT

# run NAME SCRIPT [ARGS...]: one run in $top/NAME; its exit status in $top/NAME/status.
run() {
  local name=$1 script=$2
  shift 2
  local dir=$top/$name
  mkdir -p "$dir/logs" "$dir/app/native" "$dir/data/usr"
  case $name in
    nodata) ;;
    emptydata) : > "$dir/app/native/data.vfs" ;;
    baddata) head -c 4096 "$archive" | tr 'V' 'W' > "$dir/app/native/data.vfs" ;;
    *) ln -s "$archive" "$dir/app/native/data.vfs" ;;
  esac
  # A returning player (one empty profile): start-up goes on to the menu.
  printf '\001\000' > "$dir/data/usr/profiles.cfg"
  { head -c 22 /dev/zero; printf '\004'; head -c 8 /dev/zero; } > "$dir/data/usr/profile_0"
  printf '%s\n' "$script" > "$dir/events.txt"
  local status=0
  (cd "$dir" && env -u DISPLAY KRV_AUDIO=null "$exe" --headless --clock virtual --script events.txt --shots shots \
      --size 480x320 "$@" > stdout.txt 2> stderr.txt) || status=$?
  echo "$status" > "$dir/status"
}
fail() { echo "FAIL: $*"; cat "$log" 2>/dev/null; exit 1; }
frames() { ls "$top/$1/shots" 2>/dev/null | wc -l; }

# Taps skip the maker's picture and the title.
walk='1 down 3 100 200
2 up 3 100 200
3 down 3 110 210
4 move 3 120 220
5 up 3 120 220
20 focus 0
1500ms focus 1
40 exit'

run first "$walk"
log=$top/first/logs/vornlog.txt
[ -f "$log" ] || fail "no log file"
[ "$(cat "$top/first/status")" = 0 ] || fail "exit status $(cat "$top/first/status")"
grep -q "app: archive data.vfs open" "$log" || fail "the demo archive did not open"
# The start-up walk: level catalogue, intro, storage checks, back to the intro,
# then the menu.
expected='app: state 99 -> 0
app: state 0 -> 100
app: state 100 -> 101
app: state 101 -> 0
app: state 0 -> 1
app: state 1 -> 2
app: state 2 -> 3'
[ "$(grep 'app: state ' "$log")" = "$expected" ] || fail "state walk"
grep -q "app: main menu made" "$log" || fail "no main menu"
grep -q "app: storage write test: 6 of 6 files" "$log" || fail "write test (the profile and its list already there)"
ls "$top/first/data/usr" | grep -q dummyfile && fail "dummy files left behind"
grep -q "app: focus lost" "$log" || fail "focus lost"
grep -q "app: focus gained" "$log" || fail "focus gained"
[ "$(grep -c 'app: exit event in state 3' "$log")" = 1 ] || fail "exactly one exit event, in the menu"
grep -q "app: released" "$log" || fail "not released"
n=$(frames first)
[ "$n" -ge 40 ] && [ "$n" -le 42 ] || fail "$n frames saved, 40 to 42 expected"
head -c 8 "$top/first/shots/frame00001.png" | od -An -tx1 | grep -q "89 50 4e 47 0d 0a 1a 0a" || fail "not a PNG"

# The same script again: the same log and the same frames.
run second "$walk"
log=$top/second/logs/vornlog.txt
cmp -s "$top/first/logs/vornlog.txt" "$top/second/logs/vornlog.txt" || fail "the logs differ"
for f in "$top"/first/shots/*.png; do
  cmp -s "$f" "$top/second/shots/$(basename "$f")" || fail "frame $(basename "$f") differs"
done
[ "$(frames second)" = "$n" ] || fail "frame counts differ"

# Without usable data the intro cannot load its fonts: one loading frame,
# then the program ends by itself with status 1 and one line on standard
# error that names the archive's fault (and no sanitizer report).
for c in "nodata:cannot open" "emptydata:empty" "baddata:not an archive (bad magic)"; do
  name=${c%%:*}
  run "$name" '1000 exit'
  log=$top/$name/logs/vornlog.txt
  [ "$(cat "$top/$name/status")" = 1 ] || fail "$name: exit status $(cat "$top/$name/status")"
  [ "$(cat "$top/$name/stderr.txt")" = "korvanth: cannot start: data.vfs: ${c#*:}" ] ||
    fail "$name: standard error: $(cat "$top/$name/stderr.txt")"
  grep -q "app: archive data.vfs not open" "$log" || fail "$name: archive"
  grep -q "app: the fonts could not be loaded" "$log" || fail "$name: fonts"
  grep -q "app: exit$" "$log" || fail "$name: the program did not end itself"
  [ "$(frames "$name")" = 1 ] || fail "$name: $(frames "$name") frames, one expected"
done

# Pacing: one frame per 25 ms whatever the clock's step per frame, and none
# while the focus is away (250 ms to 1250 ms of 2000).
paced='10 focus 0
1250ms focus 1
2000ms exit'
for step in 5 25; do
  run "step$step" "$paced" --clock-step "$step"
  log=$top/step$step/logs/vornlog.txt
  m=$(frames "step$step")
  # 10 frames before the focus goes, then from 1290 ms (40 ms after it
  # returns) one every 25 ms up to the exit at 2000 ms.
  [ "$m" -ge 38 ] && [ "$m" -le 40 ] || fail "step $step: $m frames"
done
[ "$(frames step5)" = "$(frames step25)" ] || fail "the frame count depends on the clock step"
echo "ok: $n frames, identical on replay; $(frames step25) paced frames"

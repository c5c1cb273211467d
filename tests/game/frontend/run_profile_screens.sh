#!/usr/bin/env bash
# The profile screens in the program, headless on the virtual clock with the
# demo archive, driven by scripted touches: backing out of the first run,
# a first profile typed on the on-screen keyboard (the hidden nickname
# bonus, read back by the independent reader), and a walk with saves that
# always fail: five profiles, the limit, delete, choose, the page switch, the
# rank gate of the aircraft and leaving, each failed save shown and dismissed.
# Frames of the keyboard, the single-player page and the multiplayer page are
# kept in OUTDIR (when given) for a person to look at.
#   run_profile_screens.sh KORVANTH DATA.VFS [OUTDIR]
set -euo pipefail
exe=$(realpath "$1")
archive=$(realpath "$2")
keep=${3:-}
here=$(cd "$(dirname "$0")" && pwd)
export EGL_PLATFORM=${EGL_PLATFORM:-surfaceless}
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
fail() { echo "FAIL: $*"; grep 'app: state\|profiles' "$log" 2>/dev/null; exit 1; }

# run NAME SCRIPT: taps through the intro first.
run() {
  local dir=$top/$1
  mkdir -p "$dir/logs" "$dir/app/native" "$dir/data/usr"
  ln -s "$archive" "$dir/app/native/data.vfs"
  printf '1 down 3 100 200\n2 up 3 100 200\n3 down 3 110 210\n5 up 3 120 220\n%s\n' "$2" > "$dir/events.txt"
  [ "$1" != failing ] || mkdir "$dir/data/usr/profile_0.tmp" # every profile save fails
  (cd "$dir" && env -u DISPLAY "$exe" --headless --clock virtual --script events.txt --shots shots \
      --size 480x320 > stdout.txt 2>&1) || fail "$1: exit status $?"
  log=$dir/logs/vornlog.txt
}
tap() { printf '%d down 0 %d %d\n%d up 0 %d %d\n' "$1" "$2" "$3" $(($1 + 1)) "$2" "$3"; }

# Screen points (480 x 320): keys of the keyboard, corner icons, the buttons
# along the bottom, the title bar's page switch and the question's Yes.
A='29 220'; B='193 260'; C='111 260'; D='111 220'; E='111 180'; Z='29 260'; U='275 180'; N='234 260'
K='316 220'; DEL='316 260'; OK='432 292'; BACK_CREATE='48 292'; BACK='432 292'
NEW='146 292'; DELETE='202 292'; NEXT='258 292'; SELECT='90 292'; PAGE='100 20'; YES='172 200'; ANY='240 160'
PLANE_LEFT='252 250'; PLANE_RIGHT='458 250'; CHOOSE='355 250'

# First run, no name, back: the game ends without a profile.
run back "$(tap 20 $BACK_CREATE; echo 60 exit)"
grep -q 'app: state 1 -> 11' "$log" || fail "back: the first run did not open the profile screens"
grep -q 'app: no profile made; the game ends' "$log" || fail "back: no exit"
[ ! -e "$top/back/data/usr/profiles.cfg" ] || fail "back: a profile list was written"

# First profile: Z U N K A, delete, OK; the screens close to the menu.
run first "$(tap 20 $Z; tap 23 $U; tap 26 $N; tap 29 $K; tap 32 $A; tap 35 $DEL; tap 39 $OK; echo 60 exit)"
grep -q 'profiles: profile 0 "ZUNK" made' "$log" || fail "first: not made"
grep -q 'app: state 10 -> 2' "$log" || fail "first: the screens did not close"
[ "$(od -An -tx1 "$top/first/data/usr/profiles.cfg" | tr -d ' ')" = 0100 ] || fail "first: list"
got=$(python3 "$here/profile_oracle.py" "$top/first/data/usr/profile_0" | grep -E 'medals|unlocks|strings')
[ "$got" = "$(printf 'medals=15\nunlocks=4,4,4,4\nstrings=5a554e4b,5a554e4b,,')" ] || fail "first: file $got"

# Saves that fail: each shows the error, dismissed by a tap.
walk="$(tap 20 $A; tap 24 $OK; tap 35 $ANY)"
t=45
for key in B C D E; do
  walk+=$'\n'"$(tap $t $NEW; tap $((t + 5)) ${!key}; tap $((t + 9)) $OK; tap $((t + 20)) $ANY)"
  t=$((t + 30))
done
walk+=$'\n'"$(tap 170 $NEW; tap 180 $DELETE; tap 190 $YES; tap 200 $ANY; tap 210 $NEXT; tap 215 $SELECT)"
# The multiplayer page: aircraft 1 needs a rank the new pilot lacks, 0 is free.
walk+=$'\n'"$(tap 225 $PAGE; tap 230 $PLANE_RIGHT; tap 233 $CHOOSE; tap 236 $PLANE_LEFT; tap 239 $CHOOSE)"
walk+=$'\n'"$(tap 250 $ANY; tap 260 $BACK; tap 275 $ANY; echo 290 exit)"
run failing "$walk"
expected='profiles: profile 0 "A" made
profiles: profile 1 "B" made
profiles: profile 2 "C" made
profiles: profile 3 "D" made
profiles: profile 4 "E" made
profiles: button 2 is not available
profiles: profile 4 deleted
profiles: profile 1 is current
profiles: page 1
profiles: aircraft 1 needs a higher rank
profiles: aircraft 0 chosen'
[ "$(grep -E 'profiles: (profile|button|page|aircraft)' "$log")" = "$expected" ] || fail "failing: the walk"
[ "$(grep -c 'app: state 10 -> 16' "$log")" = 8 ] || fail "failing: save errors"
[ "$(grep -c 'app: state 17 -> 10' "$log")" = 7 ] || fail "failing: back to the screens"
grep -q 'app: state 17 -> 2' "$log" || fail "failing: leaving with a failed save"
if [ -n "$keep" ]; then
  mkdir -p "$keep"
  for shot in keyboard:first:30 single_player_page:failing:168 multiplayer_page:failing:229; do
    IFS=: read -r name r n <<< "$shot"
    cp "$(printf '%s/%s/shots/frame%05d.png' "$top" "$r" "$n")" "$keep/$name.png" || fail "no frame for $name"
  done
fi
echo "ok: first-run back, first profile, failing saves"

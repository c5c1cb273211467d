#!/usr/bin/env bash
# The profile screens in the program, headless on the virtual clock with the
# demo archive, driven by scripted touches: backing out of the first run,
# a first profile typed on the on-screen keyboard (the hidden nickname
# bonus, read back by the independent reader), and a walk with saves that
# always fail: five profiles, the limit, delete, choose, the page switch, the
# rank gate of the aircraft and leaving, each failed save shown and dismissed.
# The tutorial offer at this size: the new pilot's tap on the campaign row's
# label, where the offer's NO lies, and a returning pilot's double tap on the
# time-attack row's left part, where its YES lies (the second tap begun while
# the offer still opens), each leave the offer open until a later tap
# answers it, the back icon there on every frame: NO returns to the menu with the offer
# remembered in the settings, YES loads the tutorial and shows its orders.
# Frames of the keyboard, the single-player page, the multiplayer page, the
# open offer, the tutorial's orders and the arcade set-up are kept in OUTDIR
# (when given) for a person to look at. A German pilot's medal page with
# the longest description selected is kept too, its text clear of the
# right panel's frame.
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

# run NAME SCRIPT [FRAMES]: taps through the intro first; FRAMES (--shot-frames)
# are the frames saved, all when not given. A run named offer has a
# returning pilot (one empty profile) and no settings yet; one named medals
# has German in its settings (byte 7) and saves that fail.
run() {
  local dir=$top/$1
  mkdir -p "$dir/logs" "$dir/app/native" "$dir/data/usr"
  if [ "$1" = offer ]; then
    printf '\001\000' > "$dir/data/usr/profiles.cfg"
    { head -c 22 /dev/zero; printf '\004'; head -c 8 /dev/zero; } > "$dir/data/usr/profile_0"
  fi
  if [ "$1" = medals ]; then
    { printf '\001\252\252\000\000\001\001\001\050\000\001\177'; head -c 34 /dev/zero; } > "$dir/data/usr/settings.nil"
  fi
  ln -s "$archive" "$dir/app/native/data.vfs"
  printf '1 down 3 100 200\n2 up 3 100 200\n3 down 3 110 210\n5 up 3 120 220\n%s\n' "$2" > "$dir/events.txt"
  [ "$1" != failing ] && [ "$1" != medals ] || mkdir "$dir/data/usr/profile_0.tmp" # every profile save fails
  (cd "$dir" && env -u DISPLAY KRV_SHOT_FRAMES="${3:-}" "$exe" --headless --clock virtual --script events.txt \
      --shots shots --size 480x320 > stdout.txt 2>&1) || fail "$1: exit status $?"
  log=$dir/logs/vornlog.txt
}
tap() { printf '%d down 0 %d %d\n%d up 0 %d %d\n' "$1" "$2" "$3" $(($1 + 1)) "$2" "$3"; }
# dtap T X Y: a double tap as players make one, two taps of 50 ms begun
# 100 ms apart (frames of 25 ms on the virtual clock).
dtap() {
  local t
  for t in "$1" $(($1 + 4)); do printf '%d down 0 %d %d\n%d up 0 %d %d\n' $t "$2" "$3" $((t + 2)) "$2" "$3"; done
}

# Screen points (480 x 320): keys of the keyboard, corner icons, the buttons
# along the bottom, the title bar's page switch and the question's Yes.
A='29 220'; B='193 260'; C='111 260'; D='111 220'; E='111 180'; Z='29 260'; U='275 180'; N='234 260'
K='316 220'; DEL='316 260'; OK='432 292'; BACK_CREATE='48 292'; BACK='432 292'
NEW='146 292'; DELETE='202 292'; NEXT='258 292'; SELECT='90 292'; PAGE='100 20'; YES='172 200'; ANY='240 160'
PLANE_LEFT='252 250'; PLANE_RIGHT='458 250'; CHOOSE='355 250'
# The sixth medal (the ace's, the longest German description) in the grid.
ACE_MEDAL='166 229'
# The main menu's selector, the campaign row of the game selection at its
# label, the time-attack row at its left part, and the tutorial offer's YES
# and NO.
SELECTOR='430 157'; ROW_LABEL='270 157'; TIME_ATTACK_LEFT='200 202'; OFFER_YES='180 190'; OFFER_NO='297 190'
# The arcade row, and the arcade start button's upper left part.
ARCADE_ROW='270 247'; ARCADE_START='30 262'
# offer_open NAME BEFORE FIRST LAST ASKED: the offer's window, not there at
# frame BEFORE (the game selection), shows the same picture from frame FIRST
# to frame LAST: it stayed open. The back icon in the corner stays as it was
# on the frames from the tap's release, ASKED - 1, to the window's opening,
# ASKED + 3, the one that asked included, and on FIRST and LAST.
offer_open() {
  local f=$top/$1/shots/frame k later=()
  for k in $(seq $(($5 - 1)) $(($5 + 3))) "$3" "$4"; do later+=("$f$(printf %05d "$k").png"); done
  ! python3 "$here/same_pixels.py" "$f$(printf %05d "$2").png" "$f$(printf %05d "$3").png" 124 96 356 218 > /dev/null &&
    python3 "$here/same_pixels.py" "$f$(printf %05d "$3").png" "$f$(printf %05d "$4").png" 124 96 356 218 &&
    python3 "$here/same_pixels.py" "$f$(printf %05d "$2").png" "${later[@]}" 384 272 480 320
}
# states NAME: the application's state changes once the menu was made.
states() { grep -E '^app: (state [0-9]+ -> |main menu made|tutorial offer)' "$top/$1/logs/vornlog.txt" | sed -n '/main menu made/,$p'; }

# First run, no name, back: the game ends without a profile.
run back "$(tap 20 $BACK_CREATE; echo 60 exit)" 1
grep -q 'app: state 1 -> 11' "$log" || fail "back: the first run did not open the profile screens"
grep -q 'app: no profile made; the game ends' "$log" || fail "back: no exit"
[ ! -e "$top/back/data/usr/profiles.cfg" ] || fail "back: a profile list was written"

# First profile: Z U N K A, delete, OK; the screens close to the menu. Then
# play, the campaign row's label: the tutorial offer, answered NO later.
# Then the arcade set-up, whose start button, tapped where an ENEMIES arrow
# could lie under it, starts the game.
run first "$(tap 20 $Z; tap 23 $U; tap 26 $N; tap 29 $K; tap 32 $A; tap 35 $DEL; tap 39 $OK;
             tap 160 $SELECTOR; tap 340 $ROW_LABEL; tap 370 $OFFER_NO; tap 390 $ARCADE_ROW; tap 480 $ARCADE_START;
             echo 500 exit)" 30,330,341,342,343,344,345,352,368,479
grep -q 'profiles: profile 0 "ZUNK" made' "$log" || fail "first: not made"
grep -q 'app: state 10 -> 2' "$log" || fail "first: the screens did not close"
[ "$(od -An -tx1 "$top/first/data/usr/profiles.cfg" | tr -d ' ')" = 0100 ] || fail "first: list"
got=$(python3 "$here/profile_oracle.py" "$top/first/data/usr/profile_0" | grep -E 'medals|unlocks|strings')
[ "$got" = "$(printf 'medals=15\nunlocks=4,4,4,4\nstrings=5a554e4b,5a554e4b,,')" ] || fail "first: file $got"
[ "$(states first | sed '/state 3 -> 4$/q')" = "$(printf 'app: main menu made\napp: state 2 -> 3\napp: state 3 -> 18\napp: tutorial offer answered no\napp: state 18 -> 3\napp: state 3 -> 4')" ] ||
  fail "first: the offer's and the arcade start's states: $(states first)"
grep -q '^menu: page 27$' "$log" || fail "first: the arcade set-up did not open"
offer_open first 330 352 368 342 || fail "first: the offer did not stay open over the game selection (the tap on the row's label answered it, or the page or its back icon went)"
[ "$(od -An -tu1 -j10 -N1 "$top/first/data/usr/settings.nil" | tr -d ' ')" = 1 ] || fail "first: the offer is not remembered"

# A returning pilot double-taps the time-attack row's left part; the
# offer's YES loads the tutorial, whose orders show.
run offer "$(tap 120 $SELECTOR; dtap 300 $TIME_ATTACK_LEFT; tap 330 $OFFER_YES; echo 450 exit)" 290,302,303,304,305,306,312,328,440
[ "$(states offer)" = "$(printf 'app: main menu made\napp: state 2 -> 3\napp: state 3 -> 18\napp: tutorial offer answered yes: the tutorial loads\napp: state 18 -> 4\napp: state 4 -> 5')" ] ||
  fail "offer: the offer's states: $(states offer)"
offer_open offer 290 312 328 303 || fail "offer: the offer did not stay open over the game selection (the double tap answered it, or the page or its back icon went)"
grep -q 'game: level 0 loaded' "$log" || fail "offer: the tutorial did not load"
[ "$(od -An -tu1 -j10 -N1 "$top/offer/data/usr/settings.nil" | tr -d ' ')" = 1 ] || fail "offer: the offer is not remembered"

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
run failing "$walk" 30,168,229
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
# The save error's soft keys (96 x 48) lie wholly in the bottom corners:
# near the outer and the inner end of each, the key and not the black fill.
python3 - "$top/failing/shots/frame00030.png" "$here/../../../demo/art" <<'PY' ||
import sys
sys.path.insert(0, sys.argv[2])
import pngio
w, h, rows = pngio.read(sys.argv[1])
points = ((8, h - 20), (88, h - 24), (w - 8, h - 20), (w - 88, h - 24))
sys.exit(any(max(rows[y][4 * x:4 * x + 3]) < 30 for x, y in points))
PY
  fail "failing: the save error's keys are not in the bottom corners"
# A German pilot (the save fails, so the screens stay) selects the ace's
# medal: its description wraps inside the right panel, whose frame (columns
# 475 and 476) and the clear column inside it show no text (text is white,
# the frame and the panel dark).
run medals "$(tap 20 $A; tap 24 $OK; tap 35 $ANY; tap 60 $ACE_MEDAL; echo 80 exit)" 79
grep -q 'profiles: profile 0 "A" made' "$log" || fail "medals: not made"
python3 - "$top/medals/shots/frame00079.png" "$here/../../../demo/art" <<'PY' ||
import sys
sys.path.insert(0, sys.argv[2])
import pngio
w, h, rows = pngio.read(sys.argv[1])
text = [(x, y) for y in range(122, 266) for x in range(236, w) if min(rows[y][4 * x:4 * x + 3]) > 200]
sys.exit(not text or max(x for x, _ in text) > 473)
PY
  fail "medals: the description is missing or reaches the right panel's frame"
if [ -n "$keep" ]; then
  mkdir -p "$keep"
  for shot in keyboard:first:30 single_player_page:failing:168 multiplayer_page:failing:229 \
              tutorial_offer:offer:328 tutorial_orders:offer:440 arcade_setup:first:479 medal_page_de:medals:79; do
    IFS=: read -r name r n <<< "$shot"
    cp "$(printf '%s/%s/shots/frame%05d.png' "$top" "$r" "$n")" "$keep/$name.png" || fail "no frame for $name"
  done
fi
echo "ok: first-run back, first profile, the tutorial offer, failing saves, the German medal page"

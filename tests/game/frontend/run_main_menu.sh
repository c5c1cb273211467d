#!/usr/bin/env bash
# The main menu in the program, headless at the tablet's 1024 x 600 on the
# virtual clock with the demo archive, walked by scripted touches: the bomb
# turned by drags and chosen on its selector (a tap above the frame's margin
# does nothing, one just below its drawn lower edge chooses); options (the music bar dragged
# past its left end and stored), help and credits; play, with the fall, the
# blast with its sound and the closing hatch; the tutorial question, asked
# by a double tap on the arcade row where the question's YES lies (its
# second tap begun while the question still opens), stays open after those
# taps and after taps beside its buttons, and is answered no (a game
# started from the menu is the session test's); the campaign, time-attack
# and arcade pages, each left by its back icon, the multiplayer notice that
# closes the hatch, and the multiplayer menus' network choice, left by their
# back button; a second drop whose blast a tap cuts short. The page walk is
# read from the log; a frame of every page is kept in the folder given (for
# a person to look at). The level page sliding in shows the game selection
# unchanged outside its bands, the one closing shows the bay in its middle
# band, and the question box stays up, unchanged, from just after it opened
# to the tap on its NO, its back icon there on every frame; the frame that asks for the
# multiplayer notice shows the bay.
# Then the help page in short runs of its own, at 1024 x 600 and at 480 x 320,
# in English and in German (the settings' language; the back key's word
# differs): scrolled from its top to
# its end by drags, the frame before each drag kept in SHOTS_DIR/help/; on
# every one the text and pictures lie inside the part of the area the page
# shows (help_in_view.py), and the last two show the same text (the end).
#   run_main_menu.sh KORVANTH DATA.VFS [SHOTS_DIR]
set -euo pipefail
exe=$(realpath "$1")
archive=$(realpath "$2")
keep=${3:-menu_shots}
export EGL_PLATFORM=${EGL_PLATFORM:-surfaceless}
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
fail() { echo "FAIL: $*"; grep 'app: state\|menu' "$log" 2>/dev/null; exit 1; }

dir=$top/walk
mkdir -p "$dir/logs" "$dir/app/native" "$dir/data/usr"
ln -s "$archive" "$dir/app/native/data.vfs"
# A returning player (one empty profile).
printf '\001\000' > "$dir/data/usr/profiles.cfg"
{ head -c 22 /dev/zero; printf '\004'; head -c 8 /dev/zero; } > "$dir/data/usr/profile_0"

ev() { echo "$*" >> "$dir/events.txt"; }
tap() { ev "$1 down 0 $2 $3"; ev "$(($1 + 1)) up 0 $2 $3"; }
# dtap T X Y: a double tap as players make one, two taps of 50 ms begun
# 100 ms apart (frames of 25 ms on the virtual clock).
dtap() { ev "$1 down 0 $2 $3"; ev "$(($1 + 2)) up 0 $2 $3"; ev "$(($1 + 4)) down 0 $2 $3"; ev "$(($1 + 6)) up 0 $2 $3"; }
# drag T X Y0 Y1: the bomb turns one label for every 45 pixels upwards.
drag() { ev "$1 down 0 $2 $3"; ev "$(($1 + 1)) move 0 $2 $((($3 + $4) / 2))"; ev "$(($1 + 2)) move 0 $2 $4"; ev "$(($1 + 3)) up 0 $2 $4"; }
# Screen points (1024 x 600): the selector frame, the back icons of the flat
# and the level pages, the rows of the game selection, the arcade start.
SEL='917 295'; BACK='976 576'; MPBACK='996 572'; PAPER='1002 578'; NO='571 331'; OK='512 331'
ROW0='576 158'; ROW1='576 203'; ROW2='576 248'; ROW3='576 293'
# The arcade row at a point where the tutorial question's YES will lie
# (double-tapped there).
ROW3_YES='450 305'
: > "$dir/events.txt"
tap 1 100 200; tap 3 110 210                        # past the intro
drag 70 400 440 305; tap 86 917 200; tap 90 917 360 # options: above the frame's margin, then below its lower edge
ev "150 down 0 600 149"; ev "151 move 0 400 149"; ev "152 move 0 100 149"; ev "153 up 0 100 149"
tap 170 $BACK
drag 230 400 400 355; tap 250 $SEL; tap 330 $BACK   # help
drag 390 400 400 355; tap 410 $SEL; tap 560 $BACK   # credits
drag 620 400 100 325; tap 640 $SEL                  # play
dtap 800 $ROW3_YES; tap 822 512 266; tap 824 512 380 # the tutorial question: its text, below it
tap 830 $NO                                         # and no
tap 1080 $ROW1; tap 1160 $PAPER                     # campaigns
tap 1240 $ROW2; tap 1320 $PAPER                     # time attack
tap 1400 $ROW3; tap 1480 $PAPER; tap 1540 $BACK     # arcade, then back to the bomb
drag 1600 400 440 395; tap 1620 $SEL                # multiplayer: the notice
tap 1660 $OK
tap 1760 $MPBACK                                    # the multiplayer menus: back
drag 1860 400 395 440; tap 1880 $SEL; tap 1890 100 300 # play again, the blast cut short
ev "1960 exit"

# The frames the checks below read, the only ones saved: one of every
# page, kept, and those compared with same.
pages="bomb:65 options:165 help:320 credits:550 fall:655 explosion:700 game_selection:790
       campaigns:1150 time_attack:1310 arcade:1470 bomb_multiplayer:1618 tutorial_question:820
       multiplayer_notice:1645 network_choice:1740 levels_open:1125 levels_close:1168"
compared="799 802 803 804 805 806 810 829 1079 1084 1095 1168 1621 1622 1623"
read_frames=$(echo $(for shot in $pages; do echo "${shot#*:}"; done) $compared | tr ' ' ,)
(cd "$dir" && env -u DISPLAY KRV_AUDIO=null "$exe" --headless --clock virtual --script events.txt --shots shots \
    --shot-frames "$read_frames" --size 1024x600 > stdout.txt 2>&1) || fail "exit status $?"
log=$dir/logs/vornlog.txt

bomb='menu: page 8
menu: page 9
menu: page 10
menu: the blast sounds
menu: page 11
menu: page 13'
expected="app: main menu made
app: state 2 -> 3
menu: page 3
menu: page 11
menu: page 14
menu: page 12
menu: page 3
menu: page 4
menu: page 11
menu: help shown in 134,142 884x322
menu: page 15
menu: page 12
menu: page 4
menu: page 5
menu: page 11
menu: page 16
menu: page 12
menu: page 5
menu: page 0
$bomb
menu: result 40000
app: state 3 -> 18
app: state 18 -> 3
menu: page 17
menu: page 18
menu: page 19
menu: page 11
menu: page 13
menu: page 17
menu: page 26
menu: page 19
menu: page 11
menu: page 13
menu: page 17
menu: page 27
menu: page 19
menu: page 11
menu: page 13
menu: page 12
menu: page 0
menu: page 1
menu: result 20001
app: state 3 -> 24
app: state 24 -> 3
menu: page 11
menu: page 12
menu: result 20000
app: state 3 -> 7
app: state 7 -> 8
app: state 8 -> 2
app: state 2 -> 3
menu: page 1
menu: page 0
menu: page 8
menu: the blast sounds
menu: page 11
menu: page 13"
got=$(grep -E '^(menu: |app: state [0-9]+ -> |app: main menu made)' "$log" | sed -n '/app: main menu made/,$p')
[ "$got" = "$expected" ] || { diff <(echo "$expected") <(echo "$got") || true; fail "the page walk"; }
grep -q 'app: tutorial offer answered no$' "$log" || fail "the tutorial question was not answered no"
# The music volume was dragged to 0 and the tutorial marked as offered.
read -r flag music effects <<< "$(od -An -tu1 -N3 "$dir/data/usr/settings.nil")"
[ "$music" = 0 ] && [ "$effects" = 170 ] || fail "stored volumes $music $effects"
[ "$(od -An -tu1 -j10 -N1 "$dir/data/usr/settings.nil" | tr -d ' ')" = 1 ] || fail "tutorial not marked offered"

mkdir -p "$keep"
for shot in $pages; do
  f=$(printf '%s/shots/frame%05d.png' "$dir" "${shot#*:}")
  [ -f "$f" ] || fail "no frame for ${shot%%:*}"
  cp "$f" "$keep/${shot%%:*}.png"
done
[ "$(md5sum "$keep"/*.png | cut -d' ' -f1 | sort -u | wc -l)" = 16 ] || fail "two kept pages are the same picture"
# No kept page shows the pictures' colour key, also after the level pages.
python3 "$(dirname "$0")/no_key_colour.py" "$keep"/*.png || fail "the colour key on screen"
same() { python3 "$(dirname "$0")/same_pixels.py" "$(printf '%s/shots/frame%05d.png' "$dir" "$1")" \
           "$(printf '%s/shots/frame%05d.png' "$dir" "$2")" $3; }
shot_files() { local k; for k in "$@"; do printf '%s/shots/frame%05d.png ' "$dir" "$k"; done; }
# The double tap that asked the question and the taps beside its buttons
# left it up, unchanged. Its back icon stays from the first tap's release (802) through
# the frame that asked (803) and the box's opening to the tap on its NO.
same 810 829 '390 235 635 362' || fail "the question box changed before the tap on its NO"
python3 "$(dirname "$0")/same_pixels.py" $(shot_files 799 802 803 804 805 806 810 829) 928 552 1024 600 ||
  fail "the back icon went with the question"
# The frame that asks for the multiplayer notice (1622) still shows the bay.
python3 "$(dirname "$0")/same_pixels.py" $(shot_files 1618 1621 1622 1623) 0 0 1024 90 ||
  fail "the bay went with the multiplayer notice"
# The level page sliding in leaves the game selection between its bands as
# it was drawn before the slide.
same 1079 1084 '0 175 1024 425' || fail "the game selection changed under the slide"
# Leaving the campaigns, the band opening in the middle shows the shut doors
# as the game selection has them.
same 1095 1168 '470 330 550 500' || fail "the closing band does not show the bay"
# The first label and the longest one sit inside the selector frame.
python3 "$(dirname "$0")/label_in_frame.py" "$keep/bomb.png" "$keep/bomb_multiplayer.png" || fail "a label outside its frame"
echo "ok: the menu walk; frames of every page in $keep"

# help_page NAME LANGUAGE WxH SELECTOR_X SELECTOR_Y DRAG_X DRAG_Y0 DRAG_Y1 STEPS:
# a returning player whose settings hold the language opens help (the bomb
# turned four labels from "play") and drags the page up STEPS times.
help_page() {
  local name=$1 lang=$2 size=$3 sx=$4 sy=$5 x=$6 y0=$7 y1=$8 steps=$9
  dir=$top/$name
  mkdir -p "$dir/logs" "$dir/app/native" "$dir/data/usr"
  ln -s "$archive" "$dir/app/native/data.vfs"
  printf '\001\000' > "$dir/data/usr/profiles.cfg"
  { head -c 22 /dev/zero; printf '\004'; head -c 8 /dev/zero; } > "$dir/data/usr/profile_0"
  # settings: the defaults with the tutorial offered, byte 7 the language
  { printf '\001\252\252\000\000\001\001'; printf "\\$(printf %03o "$lang")"; printf '\050\000\001\177'
    head -c 34 /dev/zero; } > "$dir/data/usr/settings.nil"
  : > "$dir/events.txt"
  tap 1 100 200; tap 3 110 210
  drag 70 200 290 110; tap 90 "$sx" "$sy"
  local t=150 k frames=() numbers=()
  for ((k = 0; k < steps; k++)); do
    frames+=("$(printf '%s/shots/frame%05d.png' "$dir" $((t - 1)))")
    numbers+=($((t - 1)))
    ev "$t down 0 $x $y0"; ev "$((t + 1)) move 0 $x $y1"; ev "$((t + 2)) up 0 $x $y1"
    t=$((t + 20))
  done
  frames+=("$(printf '%s/shots/frame%05d.png' "$dir" $((t - 1)))")
  numbers+=($((t - 1)))
  ev "$t exit"
  # Only the frames checked are saved.
  (cd "$dir" && env -u DISPLAY KRV_AUDIO=null "$exe" --headless --clock virtual --script events.txt --shots shots \
      --shot-frames "$(IFS=,; echo "${numbers[*]}")" --size "$size" > stdout.txt 2>&1) || fail "$name: exit status $?"
  log=$dir/logs/vornlog.txt
  grep -q '^menu: page 15$' "$log" || fail "$name: help did not open"
  local view
  view=$(sed -n 's/^menu: help shown in \([0-9]*\),\([0-9]*\) \([0-9]*\)x\([0-9]*\)$/\1,\2,\3,\4/p' "$log")
  [ -n "$view" ] || fail "$name: no help rectangle in the log"
  python3 "$(dirname "$0")/help_in_view.py" --end "$view" "${frames[@]}" || fail "$name: the help page is cut or not scrolled to its end"
  mkdir -p "$keep/help"
  for ((k = 0; k < ${#frames[@]}; k++)); do
    cp "${frames[$k]}" "$(printf '%s/help/%s_%02d.png' "$keep" "$name" "$k")"
  done
}
# The bomb's drag moves the same pixels at any size; the help area's
# rows: 142 to 464 at 1024 x 600, 95 to 261 at 480 x 320.
help_page en_1024x600 0 1024x600 917 295 560 450 140 12
help_page de_1024x600 1 1024x600 917 295 560 450 140 13
help_page en_480x320 0 480x320 420 155 250 255 105 25
help_page de_480x320 1 480x320 420 155 250 255 105 26
for size in 1024x600 480x320; do
  ! cmp -s "$keep/help/en_${size}_00.png" "$keep/help/de_${size}_00.png" || fail "help at $size: German looks like English"
  # The back key (96 x 48 in the bottom right corner) carries the word of
  # the player's language.
  w=${size%x*} h=${size#*x}
  ! python3 "$(dirname "$0")/same_pixels.py" "$keep/help/en_${size}_00.png" "$keep/help/de_${size}_00.png" \
      $((w - 96)) $((h - 48)) "$w" "$h" > /dev/null || fail "help at $size: the back key reads the same in German"
done
echo "ok: the help page in both languages at both sizes, nothing cut; frames in $keep/help"

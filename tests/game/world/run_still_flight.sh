#!/usr/bin/env bash
# Every level of the catalogue flown by a player who holds the tablet still:
# the program headless at 480 x 320 on the software renderer and the virtual
# clock, a returning pilot (the tutorial question answered before) starts the
# level from the main menu (a campaign's level through KRV_LEVEL, the time
# attack levels, the tutorial and the arcade through the menu's pages), one
# tap closes the mission's orders, and from then on the device lies flat and
# nothing else touches it. 20 s after the orders closed the aircraft must
# still fly: no destruction, no lost mission, no warning for leaving the
# play area. The match map is not flown here (a match needs a room).
# For each level the frames 1 s, 3 s and 20 s after the orders closed are
# kept in OUTDIR as NAME_01s.png, NAME_03s.png and NAME_20s.png, for a person
# to look at.
#   run_still_flight.sh KORVANTH DATA.VFS OUTDIR GROUP
# GROUP: campaign1, campaign2, campaign3 (KRV_LEVEL), modes (the time attack
# levels, the tutorial, the arcade); a level's name as below flies that one.
set -euo pipefail
exe=$(realpath "$1")
archive=$(realpath "$2")
keep=$3
group=$4
export EGL_PLATFORM=${EGL_PLATFORM:-surfaceless}
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
failed=0

# The virtual clock's step per presented frame, and the flight asked for.
FRAME_MS=25
STILL_MS=20000
# Frames from the orders' tap to the run's exit: the flight and a margin.
FLIGHT_FRAMES=$((STILL_MS / FRAME_MS + 10))

# Screen points at 480 x 320: the bomb's selector (play), the rows of the
# game selection, the time attack page's four levels, the arcade page's start,
# a point on the orders.
SELECTOR='430 157'; TUTORIAL_ROW='270 112'; TIME_ATTACK_ROW='270 202'; ARCADE_ROW='270 247'
ARCADE_START='30 262'; ORDERS='240 160'
TIME_ATTACK=('130 137' '350 137' '130 201' '350 201')

# name:how of every level; how is C:N (KRV_LEVEL) or a menu walk's name.
all="c1m1:0:0 c1m2:0:1 c1m3:0:2 c1m4:0:3 c2m1:1:0 c2m2:1:1 c2m3:1:2 c2m4:1:3
     c3m1:2:0 c3m2:2:1 c3m3:2:2 c3m4:2:3 ta1:ta0 ta2:ta1 ta3:ta2 ta4:ta3 tutorial:tutorial arcade:arcade"
case $group in
campaign[1-3]) pick="^c${group#campaign}m" ;;
modes) pick='^(ta|tutorial|arcade)' ;;
*) pick="^$group:" ;;
esac
levels=$(echo $all | tr ' ' '\n' | grep -E "$pick" || true)
[ -n "$levels" ] || { echo "FAIL: no level or group $group"; exit 1; }

# fly NAME HOW: one level, checked; 1 when it fails.
fly() {
  local name=$1 how=$2 dir=$top/$1 level_env=() orders
  mkdir -p "$dir/logs" "$dir/app/native" "$dir/data/usr"
  ln -s "$archive" "$dir/app/native/data.vfs"
  # A returning pilot with one profile, every level open (the four unlock
  # counts 4); the settings a first run writes once the tutorial question is
  # answered (every option at its default).
  printf '\001\000' > "$dir/data/usr/profiles.cfg"
  { head -c 22 /dev/zero; printf '\004\004\004\004\004'; head -c 4 /dev/zero; } > "$dir/data/usr/profile_0"
  { printf '\001\252\252\000\000\001\001\000\050\000\001\177'; head -c 34 /dev/zero; } > "$dir/data/usr/settings.nil"
  local ev=$dir/events.txt
  tap() { echo "$1 down 0 $2 $3" >> "$ev"; echo "$(($1 + 1)) up 0 $2 $3" >> "$ev"; }
  # Taps past the maker's picture and the title.
  printf '1 down 3 100 200\n2 up 3 100 200\n3 down 3 110 210\n5 up 3 120 220\n' > "$ev"
  case $how in
  [0-9]:[0-9])
    level_env=(KRV_LEVEL="$how")
    orders=200
    ;;
  ta[0-3])
    # The game selection, the time attack row; its page has slid in by 450.
    tap 120 $SELECTOR; tap 300 $TIME_ATTACK_ROW; tap 450 ${TIME_ATTACK[${how#ta}]}
    orders=650
    ;;
  tutorial)
    tap 120 $SELECTOR; tap 300 $TUTORIAL_ROW
    orders=650
    ;;
  arcade)
    # The arcade page's start with its own choices.
    tap 120 $SELECTOR; tap 300 $ARCADE_ROW; tap 450 $ARCADE_START
    orders=650
    ;;
  esac
  # The orders' tap, then the device flat until the exit.
  tap $orders $ORDERS
  echo "$((orders + FLIGHT_FRAMES)) exit" >> "$ev"
  local s1=$((orders + 1000 / FRAME_MS)) s3=$((orders + 3000 / FRAME_MS)) s20=$((orders + STILL_MS / FRAME_MS + 5))
  (cd "$dir" && env -u DISPLAY -u KRV_LEVEL "${level_env[@]}" KRV_AUDIO=null "$exe" --headless --clock virtual \
     --clock-step $FRAME_MS --renderer software --size 480x320 --script events.txt --shots shots \
     --shot-frames "$s1,$s3,$s20" > stdout.txt 2>&1) || { echo "FAIL: $name: exit status $?"; cat "$dir/stdout.txt"; return 1; }
  # The frames drawn are kept, also those of a flight that failed.
  mkdir -p "$keep"
  for shot in 01s:$s1 03s:$s3 20s:$s20; do
    local f
    f=$(printf '%s/shots/frame%05d.png' "$dir" "${shot#*:}")
    [ ! -f "$f" ] || cp "$f" "$keep/${name}_${shot%%:*}.png"
  done
  local log=$dir/logs/vornlog.txt
  grep -q '^game: level [0-9]* loaded$' "$log" || { echo "FAIL: $name: the level did not load"; return 1; }
  local closed
  closed=$(sed -n 's/^game: the orders closed at \([0-9]*\) ms$/\1/p' "$log")
  [ "$(echo "$closed" | grep -c .)" = 1 ] || { echo "FAIL: $name: the orders did not close once"; return 1; }
  # What happened in the game before the exit: a destruction, a lost
  # mission, the play area left.
  local before_exit
  before_exit=$(sed '/^app: exit event/q' "$log")
  grep -q '^app: exit event in state 5$' <<< "$before_exit" || { echo "FAIL: $name: the game had ended before the exit"; return 1; }
  local down
  down=$(sed -n "s/^game: the player's aircraft was destroyed at \([0-9]*\) ms$/\1/p" <<< "$before_exit" | head -1)
  if [ -n "$down" ]; then
    echo "FAIL: $name: the aircraft was destroyed $((down - closed)) ms after the orders closed"
    return 1
  fi
  ! grep -q '^game: the mission has failed$' <<< "$before_exit" || { echo "FAIL: $name: the mission failed"; return 1; }
  ! grep -q '^game: outside the play area' <<< "$before_exit" || { echo "FAIL: $name: the aircraft left the play area"; return 1; }
  # The frame 20 s on was drawn: the flight lasted that long.
  [ -f "$(printf '%s/shots/frame%05d.png' "$dir" $s20)" ] || { echo "FAIL: $name: the run ended before 20 s"; return 1; }
  echo "ok: $name flown 20 s with the device flat"
  return 0
}

for entry in $levels; do
  fly "${entry%%:*}" "${entry#*:}" || failed=1
done
exit $failed

#!/usr/bin/env bash
# Plays a campaign mission end to end: the program runs headless on the
# virtual clock with the demo archive and scripted touches, starting the
# level directly (KRV_LEVEL). The first campaign's catalogue and its first
# mission are replaced from the writable directory by a small mission made
# here with the project's tools: one enemy aircraft without AI ahead of the
# player on the demo's first map, marked by a red diamond and shot down to
# win; its header names an intro camera that the map has no camera for, so
# play starts at once. The second level is the demo's own.
#   - won: the mission loads in its seven steps behind the loading screen,
#     the player holds the fire button (the aircraft turns to the target in
#     the crosshair), the target goes down, the summary shows, the next level
#     unlocks in the saved profile and loads from the completed-mission menu;
#     part mesa: on OpenGL ES 1.1 (Mesa) twice, with identical logs and
#     frames; part software: on the software renderer;
#   - part left: the player flies on without firing, leaves the play area,
#     and the mission fails after the 9 s countdown; the profile keeps its
#     unlocks;
#   - part options: the options page opened from the main menu, then the
#     level started through the menu (its game selection and level pages
#     drawn first), paused by its icon and the options page opened from the
#     pause menu, on OpenGL ES 1.1 and on OpenGL ES 2.0 side by side: no
#     frame of that page shows the pictures' colour key, and the page from
#     the pause menu is the main menu's, pixel for pixel within 8 a channel.
# Each part stands alone, so that the parts can run side by side. Frames at
# fixed numbers are kept in OUTDIR for a person to look at.
#   run_session.sh KORVANTH DATA.VFS SCRIPTC LEVELSCFG OUTDIR PART   (PART: mesa, software, left, options)
set -euo pipefail
exe=$(realpath "$1")
archive=$(realpath "$2")
scriptc=$(realpath "$3")
levelscfg=$(realpath "$4")
out=$5
part=$6
case $part in
  mesa) runs="won again" ;;
  software) runs=soft ;;
  left) runs=left ;;
  options) runs="menu_gles1 menu_gles2" ;;
  *) echo "run_session.sh: unknown part $part" >&2; exit 2 ;;
esac
export EGL_PLATFORM=${EGL_PLATFORM:-surfaceless}
top=$(mktemp -d)
[ -n "${KRV_KEEP_RUNS:-}" ] || trap 'rm -rf "$top"' EXIT
mkdir -p "$out"
for r in $runs; do rm -f "$out/$r"_*.png; done

# The test's level, in the mission script's text form; texts are the demo's
# first campaign's (text file 1).
cat > "$top/e2e1.txt" <<'EOF'
define header {
    title 1
    textSource 1
    campaign 0
    mission 0
    mapdata "data\scenes\map1.pam"
    mode SINGLEPLAYER
    animLoopStart 0
    animLoopEnd 3000
    description 2
    maxAltitude 45
    virtualDebrief TRUE cameraStart 0 cameraEnd 100
    maptextures 2 {
        maptextures[0] { path "data\textures\summer" }
        maptextures[1] { path "data\textures" }
    }
}
define mainPlayer {
    spawn "PlayerStart"
    currentWeapon 0
    energy 100
    airplane 0
    weapons 1 { weapons[0] { index 0 ammo -1 } }
    objectives 1 {
        objectives[0] {
            action DESTROY
            title 3
            isCompleted FALSE
            target 0
            targets 1 { targets[0] { gpo 0 } }
        }
    }
}
define GPOs {
    gpo 1 {
        gpo[0] {
            type POINT
            typeName "Spawn2"
            side ENEMY
            radarColor 0xFF3020
            objectType PLANE
            cursorId 5
            cursorSize 2
            cursorPLUG BASIC
            enabled TRUE
            airplane 1
        }
    }
}
define Commands {
    Command 6 {
        Command[0] { type SHOW_CONSOLE_TEXT consoleText 6 }
        Command[1] { type SUMMARY_ELEMENT_GPO_DESTR consoleText 7 scoreA 100 scoreB 1 }
        Command[2] { type SET_MISSION_COMPLETED }
        Command[3] { type EVENT_DISABLE_ALL }
        Command[4] { type SET_MISSION_FAILED }
        Command[5] { type EVENT_DISABLE_ALL }
    }
}
define Events {
    Event 2 {
        Event[0] {
            type GPO_HEALTH_VALUE
            gpoRef 0
            value 0
            commands 4 { commands[0] { com 0 } commands[1] { com 1 } commands[2] { com 2 } commands[3] { com 3 } }
        }
        Event[1] {
            type GPO_HEALTH_VALUE
            gpoRef -1
            value 0
            commands 2 { commands[0] { com 4 } commands[1] { com 5 } }
        }
    }
}
EOF
cat > "$top/levels.txt" <<'EOF'
# title name script campaign mission mode ceiling timer maps source
1 "First Patrol"  "data_to_make\scripts\txt\e2e1" 0 0 SINGLEPLAYER 45 off 0 1
9 "Convoy Escort" "data_to_make\scripts\txt\c1m2" 0 1 SINGLEPLAYER 45 off 0 1
EOF
"$scriptc" "$top/e2e1.txt" "$top/e2e1.bin" > /dev/null
"$levelscfg" build "$top/levels.txt" "$top/levels.cfg" > /dev/null

# run NAME EVENTS [ARGS...]: one run in $top/NAME, in the background; the
# level is started directly unless start says otherwise.
start=KRV_LEVEL=0
run() {
  local name=$1 events=$2
  shift 2
  local dir=$top/$name
  mkdir -p "$dir/logs" "$dir/app/native" "$dir/data/usr" "$dir/data/data/scripts"
  ln -s "$archive" "$dir/app/native/data.vfs"
  cp "$top/e2e1.bin" "$top/levels.cfg" "$dir/data/data/scripts/"
  # One profile that has the first level of the first campaign open.
  printf '\001\000' > "$dir/data/usr/profiles.cfg"
  { head -c 22 /dev/zero; printf '\004\001\000\000\000'; head -c 4 /dev/zero; } > "$dir/data/usr/profile_0"
  printf "$events" > "$dir/events.txt"
  (cd "$dir" && env -u DISPLAY $start KRV_AUDIO=null "$exe" --headless --clock virtual --script events.txt \
      --shots shots --size 1024x600 "$@" > stdout.txt 2>&1; echo $? > status) &
}
fail() { echo "FAIL: $*"; [ -n "${log:-}" ] && grep -v 'Image:\|PMesh:' "$log" | tail -40; exit 1; }
# keep RUN FRAME NAME: a kept frame, which never shows the colour key.
keep() {
  cp "$top/$1/shots/frame$(printf %05d "$2").png" "$out/$3.png" || fail "$1 has no frame $2"
  python3 "$(dirname "$0")/../frontend/no_key_colour.py" "$out/$3.png" || fail "$1: the colour key on screen in frame $2"
}
profile_byte() { od -An -tu1 -j "$2" -N 1 "$top/$1/data/usr/profile_0" | tr -d ' '; }

# Taps skip the maker's picture and the title; a tap closes the mission's
# description; the fire button (right edge, middle) is held; taps dismiss the
# summary and the unlock message, then pick the menu's first row, next level.
intro='1 down 3 100 200\n2 up 3 100 200\n3 down 3 110 210\n5 up 3 120 220\n130 down 1 500 300\n132 up 1 500 300\n'
won="${intro}200 down 2 1000 300\n1150 up 2 1000 300\n1300 down 1 500 300\n1302 up 1 500 300\n1350 down 1 500 300\n1352 up 1 500 300\n1370 down 1 512 255\n1372 up 1 512 255\n1480 exit\n"
# Through the menu: the options first from the main menu (the bomb turned
# three labels on to its options label and chosen on its selector, left by
# the back icon, the bomb turned back), then play on the bomb's selector, the
# campaign row of the game selection, the tutorial question answered no, the
# campaign row again, the first level's window; a tap closes the orders; the
# pause icon (lower right corner) and the pause menu's third row, options;
# the exit comes there.
menu='1 down 3 100 200\n2 up 3 100 200\n3 down 3 110 210\n5 up 3 120 220\n'
menu="${menu}70 down 0 400 440\n71 move 0 400 372\n72 move 0 400 305\n73 up 0 400 305\n86 down 0 917 295\n87 up 0 917 295\n"
menu="${menu}130 down 0 976 576\n131 up 0 976 576\n"
menu="${menu}150 down 0 400 305\n151 move 0 400 372\n152 move 0 400 440\n153 up 0 400 440\n190 down 0 917 295\n191 up 0 917 295\n"
menu="${menu}350 down 0 576 203\n351 up 0 576 203\n380 down 0 571 331\n381 up 0 571 331\n410 down 0 170 203\n411 up 0 170 203\n"
menu="${menu}520 down 0 264 318\n521 up 0 264 318\n560 down 1 500 300\n562 up 1 500 300\n"
menu="${menu}590 down 1 990 566\n592 up 1 990 566\n610 down 1 512 299\n612 up 1 512 299\n670 exit\n"
# Leaving: the throttle slider (right of the radar) dragged up, nothing fired.
left="${intro}140 down 4 10 40\n142 move 4 40 40\n144 move 4 80 40\n146 move 4 120 40\n148 move 4 140 40\n150 up 4 140 40\n1650 exit\n"

# The runs save only the frames their checks below read (a frame read there
# must be listed here); the mission played twice writes the sums of every
# frame, compared between the runs.
won_frames=20,100,600,1070,1300,1320,1365,1470
case $part in
  mesa)
    run won "$won" --shot-frames $won_frames --shot-sums sums.txt
    run again "$won" --shot-frames $won_frames --shot-sums sums.txt
    ;;
  software) run soft "$won" --renderer software --shot-frames $won_frames ;;
  left) run left "$left" --shot-frames 1100,1640 ;;
  options)
    start="-u KRV_LEVEL"
    run menu_gles1 "$menu" --renderer gles1 --shot-frames 120,620-669
    run menu_gles2 "$menu" --renderer gles2 --shot-frames 120,620-669
    ;;
esac
wait

for r in $runs; do
  log=$top/$r/logs/vornlog.txt
  [ "$(cat "$top/$r/status")" = 0 ] || fail "$r: exit status $(cat "$top/$r/status")"
  if [ "$part" = options ]; then
    grep -q 'app: menu: level 0 of the chosen group' "$log" || fail "$r: the level was not started from the menu"
  else
    grep -q 'app: starting level 0 of campaign 0' "$log" || fail "$r: the level was not started"
  fi
  # Seven loading steps, each behind a frame of the loading screen.
  [ "$(grep -c '^game: load step' "$log")" -ge 7 ] || fail "$r: loading steps"
  [ "$(grep '^game: load step' "$log" | head -7 | tr -d '\n')" = \
    "game: load step 0game: load step 1game: load step 2game: load step 3game: load step 4game: load step 5game: load step 6" ] ||
    fail "$r: loading steps out of order"
  grep -q 'game: level 0 loaded' "$log" || fail "$r: not loaded"
  # The mission names an intro camera, but the map has no camera to fly.
  grep -q "game: the level has no camera for the mission's intro; play starts at once" "$log" ||
    fail "$r: an intro camera without a camera was not skipped"
  grep -q 'app: state 4 -> 5' "$log" || fail "$r: the game did not start"
done

# won RUN: the mission won, the next level unlocked and started.
won() {
  log=$top/$1/logs/vornlog.txt
  walk=$(grep -E '^game: (the mission|paused|level 1|level 0 loaded|outside)' "$log" | tr '\n' '|' || true)
  [ "$walk" = "game: level 0 loaded|game: the mission has been completed|game: paused (mission completed)|game: level 1 of campaign 0 unlocked|game: level 1 loaded|" ] ||
    fail "$1: the mission's course was $walk"
  grep -q 'app: the game returned 3' "$log" || fail "$1: next level not chosen"
  [ "$(profile_byte "$1" 23)" = 2 ] || fail "$1: the next level is not unlocked in the profile"
  [ "$(profile_byte "$1" 10)" = 100 ] || fail "$1: the mission's score is not in the profile"
  # The replay's frames are compared with the first run's, not kept.
  [ "$1" != again ] || return 0
  keep "$1" 20 "${1}_020_loading"
  keep "$1" 100 "${1}_100_description"
  keep "$1" 600 "${1}_600_flight"
  keep "$1" 1070 "${1}_1070_target_in_sight"
  keep "$1" 1300 "${1}_1300_summary"
  keep "$1" 1320 "${1}_1320_unlocked"
  keep "$1" 1365 "${1}_1365_completed_menu"
  keep "$1" 1470 "${1}_1470_next_level"
}

case $part in
mesa)
  won won
  won again
  # One script twice: the same log and the same frames (their sums).
  cmp -s "$top/won/logs/vornlog.txt" "$top/again/logs/vornlog.txt" || fail "the logs of two runs differ"
  n=$(wc -l < "$top/won/sums.txt")
  [ "$n" -ge 1470 ] || fail "sums of $n frames"
  [ "$n" = "$(wc -l < "$top/again/sums.txt")" ] || fail "frame counts differ"
  if ! cmp -s "$top/won/sums.txt" "$top/again/sums.txt"; then
    fail "frame $(diff "$top/won/sums.txt" "$top/again/sums.txt" | sed -n 's/^> \([0-9]*\) .*/\1/p' | head -1) differs between two runs"
  fi
  for f in "$top"/won/shots/*.png; do
    cmp -s "$f" "$top/again/shots/$(basename "$f")" || fail "frame $(basename "$f") differs between two runs"
  done
  echo "ok: won on es1, identical on replay ($n frames)"
  ;;
software)
  won soft
  echo "ok: won on the software renderer"
  ;;
left)
  log=$top/left/logs/vornlog.txt
  walk=$(grep -E '^game: (the mission|paused|outside|out of|back inside|the player)' "$log" | sed 's/ at [0-9]* ms//' | tr '\n' '|' || true)
  [ "$walk" = "game: outside the play area; the countdown runs|game: out of the play area too long; the aircraft is destroyed|game: the mission has failed|game: the player's aircraft was destroyed|game: paused (mission failed)|" ] ||
    fail "left: the mission's course was $walk"
  out_at=$(sed -n 's/^game: outside the play area at \([0-9]*\) ms.*/\1/p' "$log" || true)
  [ "$(profile_byte left 23)" = 1 ] || fail "left: the profile's unlocks changed"
  keep left 1100 left_1100_warning
  keep left 1640 left_1640_failed_menu
  echo "ok: left the area at ${out_at} ms and failed"
  ;;
options)
  for r in $runs; do
    log=$top/$r/logs/vornlog.txt
    # The options from the main menu before the level: the hatch closes on
    # the options label, the page, the hatch opens.
    first=$(grep -E '^menu: page (3|11|14|12)$' "$log" | head -4 | tr '\n' '|' || true)
    [ "$first" = "menu: page 3|menu: page 11|menu: page 14|menu: page 12|" ] ||
      fail "$r: the way to the main menu's options was $first"
    walk=$(grep -E '^(game: (level 0 loaded|paused)|app: state (5 -> 2|2 -> 3)|menu: page 14|app: exit event)' "$log" |
      sed -n '/game: level 0 loaded/,$p' | tr '\n' '|' || true)
    [ "$walk" = "game: level 0 loaded|game: paused (player)|app: state 5 -> 2|app: state 2 -> 3|menu: page 14|app: exit event in state 3|" ] ||
      fail "$r: the way to the options was $walk"
    # The options page stands from frame 620 to the exit.
    shots=()
    for f in $(seq 620 669); do shots+=("$(printf '%s/%s/shots/frame%05d.png' "$top" "$r" "$f")"); done
    python3 "$(dirname "$0")/../frontend/no_key_colour.py" "${shots[@]}" || fail "$r: the colour key on screen"
    keep "$r" 120 "${r}_120_options_from_main_menu"
    keep "$r" 640 "${r}_640_options"
    # The page is the same whichever menu opened it, the edges of the bay's
    # hole included (the level pages' faded windows drawn between the two
    # must leave nothing behind).
    python3 "$(dirname "$0")/../frontend/same_pixels.py" "$out/${r}_120_options_from_main_menu.png" \
      "$out/${r}_640_options.png" 0 0 1024 600 || fail "$r: the options page differs from the main menu's"
  done
  echo "ok: the options page from the pause menu on es1 and es2 as from the main menu, no colour key on screen"
  ;;
esac

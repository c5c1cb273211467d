#!/usr/bin/env bash
# Captures one frame of the demo's first campaign mission as a GL trace: the
# program runs headless on OpenGL ES 1.1 (Mesa) on the virtual clock with the
# demo archive, starts the first level of the first campaign directly, closes
# the mission's description with a tap, holds the fire button and writes the
# calls of its 400th presented frame (10 s into the run) through the tracing
# back end, without the picture that frame starts from.
#   capture_mission.sh KORVANTH DATA.VFS OUT.trace
set -euo pipefail
exe=$(realpath "$1")
archive=$(realpath "$2")
out=$(realpath -m "$3")
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
mkdir -p "$top/logs" "$top/app/native" "$top/data/usr"
ln -s "$archive" "$top/app/native/data.vfs"
# One profile that has the first level of the first campaign open.
printf '\001\000' > "$top/data/usr/profiles.cfg"
{ head -c 22 /dev/zero; printf '\004\001\000\000\000'; head -c 4 /dev/zero; } > "$top/data/usr/profile_0"
# Taps skip the maker's picture and the title, then close the description.
printf '1 down 3 100 200\n2 up 3 100 200\n3 down 3 110 210\n5 up 3 120 220\n130 down 1 500 300\n132 up 1 500 300\n200 down 2 1000 300\n430 exit\n' > "$top/events.txt"
rm -f "$out"
(cd "$top" && env -u DISPLAY EGL_PLATFORM=${EGL_PLATFORM:-surfaceless} KRV_AUDIO=null KRV_LEVEL=0 \
    KRV_GL_TRACE="$out" KRV_GL_TRACE_FRAME=400 "$exe" --headless --clock virtual --script events.txt \
    --size 1024x600 --renderer gles1 --frames 410 > stdout.txt 2>&1) || true
if [ ! -s "$out" ]; then
    echo "capture_mission.sh: no frame captured" >&2
    grep -v 'Image:\|PMesh:' "$top/logs/vornlog.txt" | tail -20 >&2 || true
    exit 1
fi
grep -q 'app: starting level 0 of campaign 0' "$top/logs/vornlog.txt" || { echo "capture_mission.sh: the level did not start" >&2; rm -f "$out"; exit 1; }
# The picture the frame starts from is left out: the program draws the frame
# over it, so replaying it would time work the program never does.
awk '/^# The picture the frame starts from/ { skip = 1 } !skip { print } skip && /^glDeleteTextures [0-9]+ @picture$/ { skip = 0 }' \
    "$out" > "$out.tmp" && mv "$out.tmp" "$out"

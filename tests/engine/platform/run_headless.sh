#!/usr/bin/env bash
# Runs the program headless with a short script in a scratch directory and
# checks what it leaves behind: the log with the calls the application got,
# and PNG copies of the presented frames.
set -euo pipefail
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir logs
cat > events.txt <<'SCRIPT'
2 down 3 100 200
3 move 3 110 210
4 up 3 120 220
5 focus 0
6 focus 1
8 exit
SCRIPT
env -u DISPLAY "$exe" --headless --script events.txt --shots shots --size 320x200 > stdout.txt
log=logs/vornlog.txt
fail() { echo "FAIL: $*"; cat "$log" 2>/dev/null; exit 1; }
[ -f "$log" ] || fail "no log file"
grep -q "app: Init" $log || fail "no Init"
grep -q "app: display 320 x 200, graphics type 1" $log || fail "display"
grep -q "app: OnMouseButton(100, 200, 0, 0x80030001)" $log || fail "press"
grep -q "app: OnMouseMove(110, 210, 0x80030001)" $log || fail "move"
grep -q "app: OnMouseButton(120, 220, 0, 0x80030000)" $log || fail "release"
grep -q "app: OnFocus(0)" $log || fail "focus lost"
[ "$(grep -c 'app: OnEvent(6, 0, 0)' $log)" = 1 ] || fail "exactly one exit"
grep -q "app: deleted after" $log || fail "application not deleted"
n=$(ls shots/*.png | wc -l)
[ "$n" -ge 8 ] || fail "only $n frames saved"
head -c 8 shots/frame00001.png | od -An -tx1 | grep -q "89 50 4e 47 0d 0a 1a 0a" || fail "not a PNG"
echo "ok: $n frames"

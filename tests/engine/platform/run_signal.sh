#!/usr/bin/env bash
# Stops a headless run (no script: it would last until stopped) with a signal
# once the application has started, and checks that the application left as
# it does on the tablet's exit and the program ended with status 0. The run
# folder has no logs/ folder, so the program also has to make it.
#   run_signal.sh KORVANTH DATA.VFS TERM|INT
set -euo pipefail
exe=$(realpath "$1")
archive=$(realpath "$2")
sig=$3
export EGL_PLATFORM=${EGL_PLATFORM:-surfaceless}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mkdir -p app/native
ln -s "$archive" app/native/data.vfs
# A job of its own: a script's background job would ignore interrupts.
set -m
# The grace after the exit is ten minutes: a stop signal must end the run
# without waiting for it.
env -u DISPLAY "$exe" --headless --size 320x200 --exit-grace 600000 > stdout.txt 2> stderr.txt &
pid=$!
log=logs/vornlog.txt
fail() { echo "FAIL: $*"; cat stdout.txt stderr.txt; exit 1; }
# Wait (at most 60 s) for the application to start.
for _ in $(seq 600); do
  grep -q "app: started" "$log" 2>/dev/null && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
grep -q "app: started" "$log" 2>/dev/null || { kill -KILL $pid 2>/dev/null; fail "the application did not start"; }
kill -"$sig" $pid
for _ in $(seq 600); do
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
kill -0 $pid 2>/dev/null && { kill -KILL $pid; fail "still running 60 s after SIG$sig"; }
status=0
wait $pid || status=$?
[ "$status" = 0 ] || fail "exit status $status after SIG$sig"
grep -q "created the log folder" "$log" || fail "the log folder was not reported as made"
grep -q "host: signal" "$log" || fail "the signal was not reported"
[ "$(grep -c 'app: exit event in state' "$log")" = 1 ] || fail "exactly one exit event"
grep -q "app: released" "$log" || fail "the application did not release its data"
echo "ok: SIG$sig ended the run through the application's exit"

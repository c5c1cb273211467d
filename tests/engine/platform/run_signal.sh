#!/usr/bin/env bash
# Stops a headless run (no script: it would last until stopped) with a signal
# once the application is drawing, and checks that the application left as it
# does on the tablet's exit and the program ended with status 0. Run outside
# a prepared run folder, so the program also has to make its log's folder.
set -euo pipefail
exe=$1
sig=${2:-TERM}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
# A job of its own: a script's background job would ignore interrupts.
set -m
env -u DISPLAY "$exe" --headless --size 64x64 --exit-grace 10000 > stdout.txt 2> stderr.txt &
pid=$!
log=logs/vornlog.txt
fail() { echo "FAIL: $*"; cat stdout.txt stderr.txt; cat "$log" 2>/dev/null; exit 1; }
# Wait (at most 60 s) for presented frames.
for _ in $(seq 600); do
  grep -q "app: Init" "$log" 2>/dev/null && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
grep -q "app: Init" "$log" 2>/dev/null || { kill -KILL $pid 2>/dev/null; fail "the application did not start"; }
sleep 0.3
kill -"$sig" $pid
status=0
wait $pid || status=$?
[ "$status" = 0 ] || fail "exit status $status after SIG$sig"
grep -q "host: signal" "$log" || fail "the signal was not reported"
[ "$(grep -c 'app: OnEvent(6, 0, 0)' $log)" = 1 ] || fail "exactly one exit event"
grep -q "app: OnExit" "$log" || fail "no OnExit"
grep -q "app: deleted after" "$log" || fail "application not deleted"
grep -q "created the log folder" "$log" || fail "the log folder was not reported as created"
echo "ok: SIG$sig ended the run through OnExit"

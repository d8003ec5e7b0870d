#!/usr/bin/env bash
# Two programs at once in one prefix of tools/wine-run: the end of one leaves the other running.
#
#   bash tests/e2e/wine_run_shared_prefix.sh WINE_RUN REGTOOL   (REGTOOL: the built regtool.exe)
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

wine_run=$1
regtool=$(realpath "$2")
work=$(mktemp -d "${TMPDIR:-/tmp}/kb-wine-run.XXXXXX")
holder=""
stop_holder() {
  [ -n "$holder" ] || return 0
  touch "$work/stop"
  wait "$holder" 2>/dev/null || true
  holder=""
}
trap 'stop_holder; rm -rf "$work"' EXIT

holding() { grep -q holding "$work/hold.log"; }
# running PID: the process is there and not a zombie waiting for its parent.
running() { local state; state=$(ps -o stat= -p "$1") && [ "${state#Z}" = "$state" ]; }

# The first program holds a file until the stop file is there.
echo x >"$work/held"
"$wine_run" "$regtool" hold "$(e2e_winpath "$work/held")" "$(e2e_winpath "$work/stop")" >"$work/hold.log" 2>&1 &
holder=$!
for _ in $(seq 600); do
  holding && break
  running "$holder" || break
  sleep 0.1
done
e2e_check "the first program runs" holding

# A second program of the same prefix starts and ends while the first one runs.
status=0
"$wine_run" "$regtool" pending >"$work/pending.log" 2>&1 || status=$?
e2e_check "the second program ends with its exit status 0" test "$status" = 0
sleep 1
e2e_check "the first program still runs after the second one ended" running "$holder"
stop_holder

e2e_finish

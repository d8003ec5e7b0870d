#!/usr/bin/env bash
# tools/host-suite against a stand-in ctest and stand-in GoogleTest programs: a program whose cases pass but whose process fails at its end (LeakSanitizer's report) fails them, as CTest does; a program in a folder with a blank in its name runs.
#
#   bash tests/scripts/host_suite_test.sh HOST_SUITE
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
host_suite=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/kb-host-suite-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/with blank"

# program PATH STATUS: a stand-in that reports its one case passed, as GoogleTest does, then
# ends with STATUS (1: as a process does whose leak report LeakSanitizer gave at its end).
program() {
  cat >"$1" <<PROGRAM
#!/usr/bin/env bash
echo "[==========] Running 1 test from 1 test suite."
echo "[       OK ] suite.case (0 ms)"
echo "[==========] 1 test from 1 test suite ran. (0 ms total)"
echo "[  PASSED  ] 1 test."
[ "$2" = 0 ] || echo "SUMMARY: AddressSanitizer: 64 byte(s) leaked in 1 allocation(s)." >&2
exit $2
PROGRAM
  chmod +x "$1"
}

# suite_run PROGRAM STATUS RESULT: true when host-suite over one case of PROGRAM ends with RESULT.
suite_run() {
  local path=$1 result=$3 status=0
  program "$path" "$2"
  cat >"$work/bin/ctest" <<STANDIN
#!/usr/bin/env bash
case "\$*" in
  *--show-only=json-v1*)
    printf '{"kind":"ctestInfo","version":{"major":1,"minor":0},"tests":[{"name":"suite.case","command":["%s","--gtest_filter=suite.case"]}]}\n' "$path" ;;
  *) echo "100% tests passed, 0 tests failed out of 0" ;;
esac
STANDIN
  chmod +x "$work/bin/ctest"
  PATH="$work/bin:$PATH" bash "$host_suite" host 1 >"$work/out" 2>&1 || status=$?
  grep -qx "$result" "$work/out" && return 0
  echo "exit $status, expected \"$result\", output:"
  sed 's/^/  /' "$work/out"
  return 1
}
# case_ NAME PROGRAM STATUS RESULT: suite_run, counted.
case_() { e2e_check "$1" suite_run "${@:2}"; }

case_ "a program that fails at its end fails its cases" "$work/leaky_tests" 1 \
  "host-suite: 0 passed, 1 failed"
case_ "a program in a folder with a blank in its name runs" "$work/with blank/unit_tests" 0 \
  "host-suite: 1 passed, 0 failed"

e2e_finish host_suite

#!/usr/bin/env bash
# tools/wine-run with a display of its own, in a root whose prefix this very run boots: the
# program's windows open.
#
#   bash tests/e2e/wine_run_display_first_boot.sh WINE_RUN CONTRACT_TESTS
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

root=$(mktemp -d "${TMPDIR:-/tmp}/kb-wine-boot.XXXXXX")
trap 'rm -rf "$root"' EXIT
status=0
env -u DISPLAY KB_WINE_ROOT="$root" KB_WINE_DISPLAY=1 "$1" "$2" --gtest_filter='dpi.*' \
  >"$root/log" 2>&1 || status=$?
[ "$status" = 0 ] || grep -E 'FAILED|Failure|Expected' "$root/log" >&2 || true
e2e_check "the window tests pass in a prefix booted by the same run" test "$status" = 0
e2e_finish

#!/usr/bin/env bash
# End-to-end run of the frame under Wine: the frame test program with quoted words shows its
# centred status window and one box, with German text in code page 1252.
#
#   bash tests/e2e/frame_e2e.sh DIALOG_DRIVER_EXE FRAME_PROBE_EXE PRODUCT_SH
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"

[ $# -eq 3 ] || { echo "usage: $0 DIALOG_DRIVER_EXE FRAME_PROBE_EXE PRODUCT_SH" >&2; exit 2; }
E2E_DRIVER=$(realpath "$1")
probe=$(realpath "$2")
# shellcheck source=/dev/null
source "$3"

e2e_init
e2e_start_display 1024x768x24
e2e_prefix p64 win64

e2e_script words <<'SCRIPT'
ok Prüfung der Größe
SCRIPT
# The window title holds the build's version.
sed "s/@VERSION@/$kb_version/g" "$here/expected/frame_words.txt" >"$E2E_ROOT/frame_words.txt"
e2e_check "frame: words, window and German text" \
  e2e_expect_run 0 words "$E2E_ROOT/frame_words.txt" -- "$probe" "erstes Wort" "" zwei "a\"b"
e2e_finish

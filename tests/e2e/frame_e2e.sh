#!/usr/bin/env bash
# End-to-end run of the frame under Wine: the frame test program with quoted words shows its
# centred status window with a line and one box, with German text in code page 1252. The status
# window and the installer's question, at 96 and at 144 DPI, are kept as screenshots in the run's
# root (status-96.png, question-96.png, status-144.png, question-144.png; the root's folders are
# its prefixes and its home).
#
#   bash tests/e2e/frame_e2e.sh DIALOG_DRIVER_EXE FRAME_PROBE_EXE INSTALLER_EXE REGTOOL_EXE PRODUCT_SH
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"

[ $# -eq 5 ] || { echo "usage: $0 DIALOG_DRIVER_EXE FRAME_PROBE_EXE INSTALLER_EXE REGTOOL_EXE PRODUCT_SH" >&2; exit 2; }
E2E_DRIVER=$(realpath "$1")
probe=$(realpath "$2")
installer=$(realpath "$3")
regtool=$(realpath "$4")
# shellcheck source=/dev/null
source "$5"

e2e_init
e2e_start_display 1024x768x24
e2e_prefix p64 win64
shots=$E2E_ROOT
rm -f "$shots"/status-*.png "$shots"/question-*.png "$shots"/*-box*.bmp

e2e_script words <<'SCRIPT'
ok Prüfung der Größe
SCRIPT
cp "$E2E_ROOT/words.script" "$E2E_ROOT/words144.script"
# On a German Windows as a fresh user has it the installer asks; No changes nothing.
for dpi in 96 144; do
  e2e_script "question$dpi" <<'SCRIPT'
no Wollen Sie jetzt folgenden Tastatur-Treiber installieren?
ok Installation abgebrochen.
SCRIPT
done
words=("erstes Wort" "" zwei "a\"b")

# The DPI of the programs Wine starts from then on is the user's LogPixels; without it, 96.
for value in 144=dword:00000090 96=-; do
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=%s\n' \
    "${value#*=}" >"$E2E_ROOT/dpi${value%%=*}.reg"
done
import_reg() {
  local files=() file
  for file in "$@"; do files+=("$(e2e_winpath "$file")"); done
  e2e_wine wine "$regtool" import "${files[@]}" >/dev/null
}

# The status window as it was before its box came, and the question box, as PNG files.
keep_screenshots() {
  e2e_png "$shots/frame$1-box1-owner.bmp" "$shots/status-$1.png" &&
    e2e_png "$shots/question$1-box1.bmp" "$shots/question-$1.png" &&
    rm -f "$shots/frame$1"-box*.bmp "$shots/question$1"-box*.bmp
}

# The screenshot of a window has the size its transcript gives it.
window_size() { sed -nE "s/^window: class \"$2\" .* window ([0-9]+x[0-9]+) .*/\1/p" "$E2E_ROOT/$1.transcript"; }
shot_of_window() { [ "$(e2e_png_size "$shots/$1")" = "$(window_size "$2" "$3")" ]; }

# At the higher DPI the picture is wider, and no lower (the status window is at least a sixth of
# the screen high, which its caption and line may fit at either DPI).
wider() {
  local small large
  small=$(e2e_png_size "$shots/$1-96.png") large=$(e2e_png_size "$shots/$1-144.png")
  e2e_log "$1: ${small:-none} at 96 DPI, ${large:-none} at 144 DPI"
  [ -n "$small" ] && [ -n "$large" ] && [ "${large%x*}" -gt "${small%x*}" ] && [ "${large#*x}" -ge "${small#*x}" ]
}

# At 144 DPI first, so that the prefix is left at 96.
if import_reg "$here/fixtures/german_windows.reg" "$E2E_ROOT/dpi144.reg"; then
  e2e_check "frame at 144 DPI: words, window and German text" \
    e2e_run --screenshots "$shots/frame144" words144 -- "$probe" "${words[@]}"
  e2e_check "frame at 144 DPI: the installer's question, answered No" \
    e2e_run --screenshots "$shots/question144" question144 -- "$installer"
else
  e2e_log "cannot set the DPI to 144"
fi
import_reg "$E2E_ROOT/dpi96.reg" || e2e_log "cannot set the DPI back to 96"

# The window title holds the build's version.
sed "s/@VERSION@/$kb_version/g" "$here/expected/frame_words.txt" >"$E2E_ROOT/frame_words.txt"
e2e_check "frame: words, window and German text" \
  e2e_expect_run 0 --screenshots "$shots/frame96" words "$E2E_ROOT/frame_words.txt" -- "$probe" "${words[@]}"
e2e_check "frame at 96 DPI: the installer's question, answered No" \
  e2e_run --screenshots "$shots/question96" question96 -- "$installer"

for dpi in 96 144; do
  e2e_check "screenshots at $dpi DPI" keep_screenshots "$dpi"
done
e2e_check "the screenshot of the status window at 96 DPI is the whole window" \
  shot_of_window status-96.png words frame_probe
e2e_check "the screenshot of the status window at 144 DPI is the whole window" \
  shot_of_window status-144.png words144 frame_probe
e2e_check "at 144 DPI the status window is wider" wider status
e2e_check "at 144 DPI the question box is wider" wider question
e2e_log "screenshots in $shots"
e2e_finish

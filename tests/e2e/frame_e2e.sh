#!/usr/bin/env bash
# End-to-end run of the frame under Wine: the frame test program with quoted words shows its
# centred status window with a line and one box, with German text in code page 1252. Given the
# installer, it keeps screenshots of the status window and of the installer's question at 96 and
# at 144 DPI in the run's root (status-96.png, question-96.png, status-144.png, question-144.png).
#
#   bash tests/e2e/frame_e2e.sh DIALOG_DRIVER_EXE FRAME_PROBE_EXE PRODUCT_SH [INSTALLER_EXE REGTOOL_EXE]
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"

[ $# -eq 3 ] || [ $# -eq 5 ] ||
  { echo "usage: $0 DIALOG_DRIVER_EXE FRAME_PROBE_EXE PRODUCT_SH [INSTALLER_EXE REGTOOL_EXE]" >&2; exit 2; }
E2E_DRIVER=$(realpath "$1")
probe=$(realpath "$2")
# shellcheck source=/dev/null
source "$3"

e2e_init
e2e_start_display 1024x768x24
e2e_prefix p64 win64

words=("erstes Wort" "" zwei "a\"b")
for dpi in 96 144; do
  e2e_script "words$dpi" <<<'ok Prüfung der Größe'
  # On a German Windows as a fresh user has it the installer asks; No changes nothing.
  e2e_script "question$dpi" <<<$'no Wollen Sie jetzt folgenden Tastatur-Treiber installieren?\nok Installation abgebrochen.'
  # Wine's DPI for the programs it starts from then on: the user's LogPixels, without it 96.
  value=dword:$(printf %08x "$dpi")
  [ "$dpi" != 96 ] || value=-
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=%s\n' \
    "$value" >"$E2E_ROOT/dpi$dpi.reg"
done

# at_dpi DPI [FIXTURE]: Wine's DPI (with the fixture's registry) for the programs it starts next.
at_dpi() { e2e_wine wine "$regtool" import "$(e2e_winpath "$E2E_ROOT/dpi$1.reg")" ${2:+"$(e2e_winpath "$2")"}; }
# question DPI: the installer's question answered No; the screenshots of the status window as it
# was before its box came and of the question box become PNG files.
question() {
  e2e_run --screenshots "$E2E_ROOT/question$1" "question$1" -- "$installer" &&
    e2e_png "$E2E_ROOT/frame$1-box1-owner.bmp" "$E2E_ROOT/status-$1.png" &&
    e2e_png "$E2E_ROOT/question$1-box1.bmp" "$E2E_ROOT/question-$1.png"
}
at_144() {
  at_dpi 144 "$here/fixtures/german_windows.reg" &&
    e2e_run --screenshots "$E2E_ROOT/frame144" words144 -- "$probe" "${words[@]}" && question 144
}
# wider NAME: at 144 DPI the screenshot is wider than at 96, and no lower (the status window is a
# sixth of the screen high at least, where its caption and line may fit at either DPI).
wider() {
  local small large
  small=$(e2e_png_size "$E2E_ROOT/$1-96.png") large=$(e2e_png_size "$E2E_ROOT/$1-144.png")
  e2e_log "$1: ${small:-none} at 96 DPI, ${large:-none} at 144 DPI"
  [ -n "$small" ] && [ "${large%x*}" -gt "${small%x*}" ] && [ "${large#*x}" -ge "${small#*x}" ]
}

shots=()
if [ $# -eq 5 ]; then
  installer=$(realpath "$4") regtool=$(realpath "$5") shots=(--screenshots "$E2E_ROOT/frame96")
  rm -f "$E2E_ROOT"/status-*.png "$E2E_ROOT"/question-*.png "$E2E_ROOT"/*-box*.bmp
  # At 144 DPI first, so that the prefix is left at 96.
  e2e_check "at 144 DPI: the frame and the installer's question" at_144
  at_dpi 96 || e2e_log "cannot set the DPI back to 96"
fi

# The window title holds the build's version.
sed "s/@VERSION@/$kb_version/g" "$here/expected/frame_words.txt" >"$E2E_ROOT/frame_words.txt"
e2e_check "frame: words, window and German text" \
  e2e_expect_run 0 "${shots[@]}" words96 "$E2E_ROOT/frame_words.txt" -- "$probe" "${words[@]}"
if [ $# -eq 5 ]; then
  e2e_check "at 96 DPI: the installer's question" question 96
  e2e_check "at 144 DPI the status window is wider" wider status
  e2e_check "at 144 DPI the question box is wider" wider question
  rm -f "$E2E_ROOT"/*-box*.bmp
  e2e_log "screenshots in $E2E_ROOT"
fi
e2e_finish

#!/usr/bin/env bash
# Self-test of the dialog driver: the sample program under it in a 64-bit and a 32-bit prefix, answered and mis-scripted.
#
#   bash tests/e2e/driver_selftest.sh DIALOG_DRIVER_EXE BOX_SAMPLE_EXE [32|x64]
#   (the programs' kind, 32 by default: 64-bit programs run in the 64-bit prefix alone)
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 DIALOG_DRIVER_EXE BOX_SAMPLE_EXE [32|x64]" >&2
  exit 2
fi
E2E_DRIVER=$(realpath "$1")
sample=$(realpath "$2")
prefixes=(p64 p32)
[ "${3:-32}" != x64 ] || prefixes=(p64)
expected="$here/expected"

e2e_init
e2e_start_display 1024x768x24

# Both prefixes boot at the same time.
e2e_prefix_create p64 win64 &
boot64=$!
boot32=""
if [ ${#prefixes[@]} = 2 ]; then
  e2e_prefix_create p32 win32 &
  boot32=$!
fi
wait "$boot64"
[ -z "$boot32" ] || wait "$boot32"
# Servers and desktops of both come up now, while the first cases run.
[ ${#prefixes[@]} = 1 ] || e2e_prefix p32
e2e_prefix p64

# The first box's second line as the sample holds it, in code page 1252, and as the transcript must
# show it: converted by iconv, not typed in again.
cp1252_line=$(printf 'Deutsch (\xd6ffnen f\xfcr Gr\xf6\xdfe, \xdf) \x96 \x84\xc4\x93 \x80 \xdc')
utf8_line=$(printf '%s' "$cp1252_line" | iconv -f CP1252 -t UTF-8)

sample_holds_cp1252() {
  grep -qaF "$cp1252_line" "$sample" || { e2e_log "the sample does not hold the text in code page 1252"; return 1; }
}

transcript_has_utf8() {
  local transcript=$1
  grep -qF "  text: \"Wollen Sie jetzt folgenden Tastatur-Treiber installieren?\\n\\n$utf8_line\"" "$transcript" ||
    { e2e_log "$transcript lacks the UTF-8 of the code page 1252 text"; return 1; }
}

e2e_script yes <<'EOF'
# Agree to the question, then close the report.
yes Wollen Sie jetzt folgenden Tastatur-Treiber installieren?
ok Sie haben „Ja“ gewählt.
EOF

e2e_script no <<'EOF'
no Tastatur-Treiber installieren
ok „Nein“
EOF

e2e_script mismatch <<'EOF'
yes Diesen Text zeigt keine Box
ok
EOF

e2e_script used_up <<'EOF'
yes
EOF

e2e_script unused <<'EOF'
yes
ok
ok
EOF

e2e_script late <<'EOF'
yes
ok
EOF

e2e_check "sample holds its texts in code page 1252" sample_holds_cp1252

for prefix in "${prefixes[@]}"; do
  e2e_prefix "$prefix"
  cp "$E2E_ROOT/yes.script" "$E2E_ROOT/$prefix-yes.script"
  e2e_check "$prefix: yes then ok, with owner window and quoted arguments" \
    e2e_expect_run 0 "$prefix-yes" "$expected/yes.txt" -- "$sample" 'a b' 'x"y\' '' 'C:\Programme\'
  e2e_check "$prefix: box text is the UTF-8 of the code page 1252 bytes" \
    transcript_has_utf8 "$E2E_ROOT/$prefix-yes.transcript"
  cp "$E2E_ROOT/no.script" "$E2E_ROOT/$prefix-no.script"
  e2e_check "$prefix: no then ok, no owner window" \
    e2e_expect_run 0 "$prefix-no" "$expected/no.txt" -- "$sample" --no-owner
  cp "$E2E_ROOT/no.script" "$E2E_ROOT/$prefix-relaunch.script"
  e2e_check "$prefix: boxes of the copy the program starts of itself, with --wait-image" \
    e2e_expect_run 0 --wait-image box_sample_copy.exe "$prefix-relaunch" "$expected/relaunch.txt" -- \
    "$sample" --relaunch box_sample_copy.exe eins zwei
  cp "$E2E_ROOT/mismatch.script" "$E2E_ROOT/$prefix-mismatch.script"
  e2e_check "$prefix: a text that does not come fails the run" \
    e2e_expect_run 1 "$prefix-mismatch" "$expected/mismatch.txt" -- "$sample"
done

e2e_prefix p64
e2e_check "a box after the end of the script fails the run" \
  e2e_expect_run 1 used_up "$expected/used_up.txt" -- "$sample"
e2e_check "script entries left when the program ends fail the run" \
  e2e_expect_run 1 unused "$expected/unused.txt" -- "$sample"
e2e_check "no box within the timeout fails the run and ends the program" \
  e2e_expect_run 1 --timeout 1 late "$expected/late.txt" -- "$sample" --delay-ms 8000

e2e_finish driver_selftest

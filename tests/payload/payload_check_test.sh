#!/usr/bin/env bash
# The payload check (tools/check-payload.cmake): the build's files and an author's good folder
# pass; bad files made here from them are refused, each with its message; and the build step
# stops a build from a bad folder, named with what is wrong.
#   payload_check_test.sh CMAKE GENERATOR TOOLCHAIN_FILE CC_64 SOURCE_DIR BUILD_DIR
set -euo pipefail
cmake=$1 generator=$2 toolchain=$3 cc64=$4 source=$5 build=$6
# shellcheck source=tests/e2e/lib.sh
source "$source/tests/e2e/lib.sh"
# shellcheck source=/dev/null
source "$build/product.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/kb-payload-check.XXXXXX")
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

# The build's files (payloads.txt: the three DLLs first, the diagram's PDF and icon last).
mapfile -t files < <(tail -n +2 "$build/payloads.txt")
x86=${files[0]} x64=${files[1]} wow64=${files[2]} pdf=${files[-2]} icon=${files[-1]}

# check SETTINGS...: the check of the files the -D settings name, its output in $work/out.
# passes SETTINGS...: it takes them; refused MESSAGE... -- SETTINGS...: it fails, saying each
# message.
check() {
  "$cmake" -DDLL_NAME="$kb_dll" "$@" -P "$source/tools/check-payload.cmake" >"$work/out" 2>&1
}
passes() { check "$@" || { cat "$work/out"; false; }; }
refused() {
  local messages=()
  while [ "$1" != -- ]; do messages+=("$1"); shift; done
  shift
  if check "$@"; then echo "accepted: $*"; return 1; fi
  local message
  for message in "${messages[@]}"; do
    grep -qF -- "$message" "$work/out" || { echo "no \"$message\" in:"; cat "$work/out"; return 1; }
  done
}
# bad NAME [FROM]: a copy of FROM in the folder NAME, named as the product's DLL.
bad() { mkdir -p "$work/$1"; cp "${2:-$x86}" "$work/$1/$kb_dll"; echo "$work/$1/$kb_dll"; }
# poke FILE OFFSET BYTES: writes the bytes (printf's escapes) at the offset.
poke() { printf %b "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
pe_header() { od -An -tu4 -j60 -N4 "$1" | tr -d ' '; }

e2e_check "the build's files pass" passes -DX86="$x86" -DX64="$x64" -DWOW64="$wow64" \
  -DPDF="$pdf" -DICON="$icon"

# An author's folder as the README shows it, with an ARM64 DLL (the x64 one marked ARM64).
good="$work/author's files (good)"
mkdir -p "$good"/{x86,x64,wow64,arm64}
cp "$x86" "$good/x86/$kb_dll"; cp "$x64" "$good/x64/$kb_dll"; cp "$wow64" "$good/wow64/$kb_dll"
cp "$x64" "$good/arm64/$kb_dll"
poke "$good/arm64/$kb_dll" $(($(pe_header "$x64") + 4)) '\x64\xaa'
cp "$pdf" "$good/$kb_diagram.pdf"; cp "$icon" "$good/$kb_diagram.ico"
e2e_check "a good author's folder with an ARM64 DLL passes" passes -DX86="$good/x86/$kb_dll" \
  -DX64="$good/x64/$kb_dll" -DWOW64="$good/wow64/$kb_dll" -DARM64="$good/arm64/$kb_dll" \
  -DPDF="$good/$kb_diagram.pdf" -DICON="$good/$kb_diagram.ico"

e2e_check "swapped x86/ and x64/ are refused, both" refused \
  "x64/$kb_dll: built for AMD64, but the DLL in x86/ must be built for i386" \
  "x86/$kb_dll: built for i386, but the DLL in x64/ must be built for AMD64" -- \
  -DX86="$x64" -DX64="$x86" -DWOW64="$wow64"
e2e_check "an x64 DLL in arm64/ is refused" refused \
  "built for AMD64, but the DLL in arm64/ must be built for ARM64" -- -DARM64="$x64"

# A DLL linked as usual, with the C runtime: it imports KERNEL32.dll and msvcrt.dll.
"$cc64" -shared -Os -o "$work/imports.dll" "$source/payload/layout_dll.c"
e2e_check "a DLL with imports is refused, its DLLs named" refused \
  "imports KERNEL32.dll, msvcrt.dll, but a layout DLL imports nothing" -- \
  -DX64="$(bad imports "$work/imports.dll")"

# The loader walks the import descriptors to the empty one, whatever size the directory states.
unsized=$(bad unsized "$work/imports.dll")
poke "$unsized" $(($(pe_header "$unsized") + 148)) '\0\0\0\0'  # PE32+: the import directory's size
e2e_check "a DLL with imports whose directory states size 0 is refused" refused \
  "unsized/$kb_dll: imports KERNEL32.dll, msvcrt.dll" -- -DX64="$unsized"

# KbdLayerDescriptor forwarded to another DLL: the loader loads that DLL to find it.
printf 'EXPORTS\nKbdLayerDescriptor = kbdus.KbdLayerDescriptor\n' >"$work/forward.def"
"$cc64" -shared -nostdlib -s -o "$work/forward.dll" "$work/forward.def" 2>/dev/null
e2e_check "a DLL whose KbdLayerDescriptor is forwarded to another DLL is refused" refused \
  "forward/$kb_dll:" "kbdus" -- -DX64="$(bad forward "$work/forward.dll")"

# A DLL without an import table, cut off where its last section begins (a download cut short).
cut=$(bad cut "$x64")
pe=$(pe_header "$cut")
poke "$cut" $((pe + 144)) '\0\0\0\0\0\0\0\0'  # PE32+: no import directory
sections=$(od -An -tu2 -j$((pe + 6)) -N2 "$cut" | tr -d ' ')
optional_size=$(od -An -tu2 -j$((pe + 20)) -N2 "$cut" | tr -d ' ')
last=$((pe + 24 + optional_size + (sections - 1) * 40))
truncate -s "$(od -An -tu4 -j$((last + 20)) -N4 "$cut" | tr -d ' ')" "$cut"
e2e_check "a DLL cut short is refused" refused "cut/$kb_dll: cut short" -- -DX64="$cut"

no_export=$(bad no-export)
poke "$no_export" "$(grep -obUa KbdLayerDescriptor "$no_export" | head -n 1 | cut -d: -f1)" X
e2e_check "a DLL without KbdLayerDescriptor is refused" refused \
  "no-export/$kb_dll: exports no KbdLayerDescriptor" -- -DWOW64="$no_export"

program=$(bad program)
high=$(($(pe_header "$program") + 23))  # the characteristics' high byte, with 0x20 the DLL's mark
poke "$program" $high "\\x$(printf %02x $(($(od -An -tu1 -j$high -N1 "$program") & ~0x20)))"
e2e_check "a program in place of the DLL is refused" refused "a program, not a DLL" -- \
  -DX86="$program"

mkdir -p "$work/named"
cp "$x86" "$work/named/KbdEditLKQ7V000.DLL"
e2e_check "a DLL of another name is refused" refused \
  "the layout DLL's file name must be $kb_dll, not KbdEditLKQ7V000.DLL" -- \
  -DX86="$work/named/KbdEditLKQ7V000.DLL"

cp "$x86" "$work/named/${kb_dll%.DLL}.dll"
e2e_check "the product's name in other letters passes" passes -DX86="$work/named/${kb_dll%.DLL}.dll"

printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR' >"$work/renamed.ico"
printf '\0\0\1\0\0\0' >"$work/empty.ico"
printf '<!DOCTYPE html>\n<title>404</title>\n' >"$work/page.pdf"
e2e_check "a PNG renamed to .ico is refused" refused "renamed.ico: a PNG image, no icon" -- \
  -DICON="$work/renamed.ico"
e2e_check "an icon without an image is refused" refused "empty.ico: an icon file without an image" \
  -- -DICON="$work/empty.ico"
e2e_check "a web page named .pdf is refused" refused "page.pdf: no PDF (a PDF begins with %PDF-)" \
  -- -DPDF="$work/page.pdf"

# The build step: a build from the good folder checks it; a 64-bit DLL put into x86/ then, or the
# DLL renamed, stops the build before the installer embeds it.
scratch="$work/build"
"$cmake" -S "$source" -B "$scratch" -G "$generator" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DKB_VERSION="$kb_version" -DKB_PAYLOAD_DIR="$good" >"$work/configure.log" 2>&1 ||
  cat "$work/configure.log"
build_payloads() { "$cmake" --build "$scratch" --target kb_payloads >"$work/out" 2>&1; }
check() { "$@"; }  # from here, what refused runs is the build
e2e_check "the build checks a good folder" build_payloads
cp "$x64" "$good/x86/$kb_dll"
e2e_check "the build stops at a 64-bit DLL in x86/" refused \
  "x86/$kb_dll: built for AMD64, but the DLL in x86/ must be built for i386" -- build_payloads
cp "$x86" "$good/x86/$kb_dll"
mv "$good/x86/$kb_dll" "$good/x86/KbdEditLKQ7V000.DLL"
e2e_check "the build stops at a DLL of another name" refused \
  "x86/KbdEditLKQ7V000.DLL: the layout DLL's file name must be $kb_dll" -- build_payloads

e2e_finish payload_check

#!/usr/bin/env bash
# End-to-end run of the real programs under Wine, in a 64-bit and a 32-bit prefix: install, update,
# No, a refused parameter, then the uninstaller as Windows starts it from the uninstall entry.
# The kinds of run: 64 and 32, the 32-bit programs in a prefix of that kind; x64, the 64-bit
# programs in the 64-bit prefix.
# The 64-bit prefix has the language list of Windows 8 and later and the 32-bit one has none; a
# test double of input.dll in each system folder records the programs' InstallLayoutOrTip calls.
#
#   bash tests/e2e/install_roundtrip.sh DRIVER REGTOOL INSTALLER PAYLOAD_DIR PRODUCT_SH [64|32|x64]...
#   (PRODUCT_SH: the build's product.sh with the names and payload times; the doubles of input.dll
#   are taken from the same build, tools/input_double beside REGTOOL's folder)
#   (KB_E2E_SHOW=1 prints each transcript and the state after each run, for the main job)
set -euo pipefail
export LC_ALL=C

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/lib.sh
source "$here/lib.sh"

[ $# -ge 5 ] || { echo "usage: $0 DRIVER REGTOOL INSTALLER PAYLOAD_DIR PRODUCT_SH [64|32|x64]..." >&2; exit 2; }
E2E_DRIVER=$(realpath "$1")
regtool=$(realpath "$2")
installer=$(realpath "$3")
payloads=$(realpath "$4")
# shellcheck source=/dev/null
source "$5"
shift 5
bitnesses=("$@")
[ ${#bitnesses[@]} -gt 0 ] || bitnesses=(64 32)

dll=$kb_dll
uninstaller=$kb_uninstaller
diagram=$kb_diagram
keys=('HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts'
      'HKEY_CURRENT_USER\Keyboard Layout'
      'HKEY_CURRENT_USER\Control Panel\International\User Profile'
      'HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall')

show() { [ "${KB_E2E_SHOW:-0}" != 1 ] || cat "$@"; }

e2e_init
e2e_start_display 1024x768x24

# The registry as text (converted to UTF-8), and every file the programs may touch.
state() {
  local out=$1 drive=$WINEPREFIX/drive_c
  e2e_wine wine "$regtool" export "${keys[@]}" | tr -d '\r' | iconv -f CP1252 -t UTF-8 >"$out"
  {
    echo "--- files"
    for dir in "$drive/windows/system32" "$drive/windows/syswow64" "$drive/Program Files" \
               "$drive/Program Files (x86)" "$HOME/Desktop" "$drive/users/${USER:-root}/Desktop"; do
      [ -d "$dir" ] || continue
      find -L "$dir" -maxdepth 2 \( -iname "$dll" -o -iname "$kb_product_name" -o -iname "$uninstaller" \
        -o -iname "$diagram*" \) \
        -printf '%P %s\n' 2>/dev/null | sed "s|^|$(basename "$dir")/|" | sort
    done
  } >>"$out"
}

# A German Windows as a fresh user sees it; in the 64-bit prefix a Windows 8 or later, with the
# user's language list, in the 32-bit one a Windows 7, without it. Without the program's own key
# too, where an earlier run in the prefix that was stopped may have left its journal, and without
# the program folder, which both product versions share.
seed() {
  rm -rf "$folder"
  local files=("$(e2e_winpath "$here/fixtures/german_windows.reg")")
  [ "$language_list" != 1 ] || files+=("$(e2e_winpath "$here/fixtures/language_list.reg")")
  printf 'Windows Registry Editor Version 5.00\n\n[-HKEY_CURRENT_USER\\Software\\%s]\n' \
    "$kb_product_name" >"$E2E_ROOT/no_program_key.reg"
  files+=("$(e2e_winpath "$E2E_ROOT/no_program_key.reg")")
  e2e_wine wine "$regtool" import "${files[@]}"
}

# The doubles of input.dll as the system's: the 32-bit one where a 32-bit program loads it from
# (syswow64 of a 64-bit Windows, system32 of a 32-bit one), the 64-bit one in a 64-bit system32,
# where the 64-bit programs load it from.
put_input_doubles() {
  if [ "$bits" != 32 ]; then
    [ -z "$wow64" ] || cp "$doubles/x86/input.dll" "$wow64/input.dll"
    cp "$doubles/x64/input.dll" "$system32/input.dll"
  else
    cp "$doubles/x86/input.dll" "$system32/input.dll"
  fi
}

# expect_input_calls [RECORD]: the doubles recorded this one call since the last look, or none
# without RECORD; the record then starts afresh.
expect_input_calls() {
  local status=0
  touch "$input_log"
  diff -u --label expected --label "$input_log" <(printf '%s' "${1:+$1$'\n'}") \
    <(tr -d '\r' <"$input_log") >&2 || status=1
  rm -f "$input_log"
  return "$status"
}

# check_input_calls WHAT [FLAGS]: WHAT made one InstallLayoutOrTip call of the double of the
# programs' kind, for the layout key with FLAGS, where the prefix has the language list; no call
# without the list or without FLAGS.
check_input_calls() {
  local record="" title="no input.dll call" double=32
  [ "$bits" != x64 ] || double=64
  if [ -n "${2:-}" ] && [ "$language_list" = 1 ]; then
    record="$double 0407:$key $2"
    title="the $double-bit double records $record"
  elif [ -n "${2:-}" ]; then
    title="without the language list no input.dll call"
  fi
  e2e_check "$1: $title" expect_input_calls "$record"
}

# The final box of a run says where to add the layout by hand only when input.dll failed.
no_hint() { ! grep -q 'von Hand' "$E2E_ROOT/$1.transcript"; }

# The last-write time of a file in the FILETIME form of the payload table, to the 100 ns.
filetime_of() {
  local ns
  ns=$(stat -c '%.9Y' "$1" | tr -d '.')
  echo $(( ns / 100 + 116444736000000000 ))
}

expect_payload() {
  local file=$1 source=$2 time=$3
  [ -f "$file" ] || { e2e_log "missing $file"; return 1; }
  cmp -s "$file" "$source" || { e2e_log "$file differs from $source"; return 1; }
  [ "$(filetime_of "$file")" = "$time" ] || { e2e_log "$file has time $(filetime_of "$file"), not $time"; return 1; }
}

registry_value() {
  e2e_wine wine "$regtool" export "$1" | tr -d '\r' | sed -n "s/^\"$2\"=\"\\(.*\\)\"$/\\1/p"
}

# The lines of a state file below one registry key's header, up to the next blank line.
section() { header="[$2]" awk '$0==ENVIRON["header"]{on=1} on&&/^$/{exit} on' "$1"; }

# The user moves the Q7 layout to place 2 of the language settings; further fixtures, by file
# name, go in with the same import.
move_layout_to_place_2() {
  local files=("$(e2e_winpath "$here/fixtures/move_layout_to_place_2.reg")") extra
  for extra in "$@"; do files+=("$(e2e_winpath "$here/fixtures/$extra")"); done
  e2e_wine wine "$regtool" import "${files[@]}"
}

pending_deletions() { e2e_wine wine "$regtool" pending | tr -d '\r'; }

# Another program holds the file open, without write or delete sharing, until stop_holding.
holder=""
start_holding() {
  rm -f "$E2E_ROOT/hold.stop" "$E2E_ROOT/hold.log"
  e2e_wine wine "$regtool" hold "$(e2e_winpath "$1")" "$(e2e_winpath "$E2E_ROOT/hold.stop")" \
    >"$E2E_ROOT/hold.log" 2>&1 &
  holder=$!
  for _ in $(seq 50); do grep -q holding "$E2E_ROOT/hold.log" 2>/dev/null && break; sleep 0.2; done
}
stop_holding() {
  touch "$E2E_ROOT/hold.stop"
  wait "$holder" 2>/dev/null || true
}

# run_update NAME CHECK: runs the installer once more, answering its update boxes, as check CHECK;
# the state after it goes to $E2E_ROOT/NAME$bits.state.
run_update() {
  e2e_script "$1" <<'SCRIPT'
yes Wollen Sie jetzt folgenden Tastatur-Treiber aktualisieren?
ok Nach einem Systemneustart sollte die Tastaturbelegung wieder voreingestellt sein.
SCRIPT
  e2e_check "$2" e2e_run "$1" -- "$installer"
  state "$E2E_ROOT/$1$bits.state"
  check_input_calls "$2" 00000002
}

run_scenario() {
  local bits=$1 arch drive program_files system32 wow64 folder key layouts input_log language_list
  local label=$bits-bit prefix=p$bits
  arch=win64 language_list=1
  [ "$bits" = 32 ] && arch=win32 language_list=0
  [ "$bits" = x64 ] && label="x64 programs" prefix=p64
  e2e_prefix "$prefix" "$arch"
  drive=$WINEPREFIX/drive_c
  system32="$drive/windows/system32"
  if [ "$bits" = 64 ]; then
    program_files="$drive/Program Files (x86)"; wow64="$drive/windows/syswow64"
  elif [ "$bits" = x64 ]; then
    # A prefix booted by 64-bit Wine alone has no syswow64: a Windows without the 32-bit subsystem.
    program_files="$drive/Program Files"; wow64="$drive/windows/syswow64"
    [ -d "$wow64" ] || wow64=""
  else
    program_files="$drive/Program Files"; wow64=""
  fi
  folder="$program_files/$kb_product_name"
  layouts='HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Keyboard Layouts'
  input_log=$E2E_ROOT/input$bits.log
  rm -f "$input_log"
  export KB_INPUT_DOUBLE_LOG
  KB_INPUT_DOUBLE_LOG=$(e2e_winpath "$input_log")
  put_input_doubles
  seed
  state "$E2E_ROOT/before$bits.state"

  e2e_script install <<'SCRIPT'
yes Wollen Sie jetzt folgenden Tastatur-Treiber installieren?
ok erfolgreich installiert.
SCRIPT
  e2e_check "$label: first run installs" e2e_run install -- "$installer"
  show "$E2E_ROOT/install.transcript"
  state "$E2E_ROOT/installed$bits.state"
  show "$E2E_ROOT/installed$bits.state"
  e2e_check "$label: the question holds the terms of use" \
    grep -q 'Nutzungsbedingungen:' "$E2E_ROOT/install.transcript"
  e2e_check "$label: the status window owns the boxes" \
    grep -qF "caption \"${kb_installer%.exe} V$kb_version - Tastaturtreiber-Installation\"" "$E2E_ROOT/install.transcript"
  if [ "$bits" != 32 ]; then
    e2e_check "$label: the 64-bit DLL in system32" expect_payload "$system32/$dll" "$payloads/x64/$dll" "$kb_time_dll_64"
    if [ -n "$wow64" ]; then
      e2e_check "$label: the WOW64 DLL in syswow64" expect_payload "$wow64/$dll" "$payloads/wow64/$dll" "$kb_time_dll_wow64"
    else
      e2e_check "$label: without the 32-bit subsystem no syswow64 is made" test ! -e "$drive/windows/syswow64"
    fi
  else
    e2e_check "32-bit: the 32-bit DLL in system32" expect_payload "$system32/$dll" "$payloads/x86/$dll" "$kb_time_dll_32"
  fi
  e2e_check "$label: the diagram in the program folder" \
    expect_payload "$folder/$diagram.pdf" "$payloads/diagram.pdf" "$kb_time_diagram_pdf"
  e2e_check "$label: its icon in the program folder" \
    expect_payload "$folder/$diagram.ico" "$payloads/diagram.ico" "$kb_time_diagram_icon"
  e2e_check "$label: the uninstaller in the program folder" \
    expect_payload "$folder/$uninstaller" "$uninstaller_program" "$kb_time_uninstaller"
  e2e_check "$label: the desktop shortcut" \
    bash -c "find -L '$drive/users' '$HOME' -maxdepth 3 -name '$diagram.LNK' 2>/dev/null | grep -q ."
  key=$(registry_value 'HKEY_CURRENT_USER\Keyboard Layout\Substitutes' d0010407)
  e2e_check "$label: the new layout key b0020407 through d0010407" test "$key" = b0020407
  check_input_calls "$label: the installation" 00000002
  e2e_check "$label: the final box of the installation has no hint" no_hint install
  e2e_check "$label: the new key's values" diff -u <(printf '%s\n' \
      "[$layouts\\$key]" '"Created by KbdEdit"=""' "\"Layout File\"=\"$kb_dll\"" \
      '"Layout Id"="0c00"' "\"Layout Text\"=\"$kb_layout_text\"") \
    <(section "$E2E_ROOT/installed$bits.state" "$layouts\\$key")
  e2e_check "$label: Preload 1 = d0010407, 2 = 00000407" diff -u <(printf '%s\n' \
      '[HKEY_CURRENT_USER\Keyboard Layout\Preload]' '"1"="d0010407"' '"2"="00000407"') \
    <(section "$E2E_ROOT/installed$bits.state" 'HKEY_CURRENT_USER\Keyboard Layout\Preload')
  e2e_check "$label: the uninstall entry starts the uninstaller with the key" \
    grep -qF "$kb_product_name\\\\$uninstaller\\\" $key\"" "$E2E_ROOT/installed$bits.state"

  # Wine puts its locale's layout at Preload place 1 whenever a program with windows starts, so
  # the user moves the Q7 layout to place 2 first; Wine's write then changes nothing.
  move_layout_to_place_2
  run_update updated "$label: a second run updates"
  e2e_check "$label: the final box of the update has no hint" no_hint updated
  e2e_check "$label: the update puts the layout back at place 1 and keeps the rest" \
    diff -u "$E2E_ROOT/installed$bits.state" "$E2E_ROOT/updated$bits.state"

  if [ "$bits" != 32 ]; then
    # Windows keeps the layout DLL open for every signed-in user who has the layout: the DLL in
    # the folder holds the payload's bytes already, so the update goes through.
    move_layout_to_place_2
    start_holding "$system32/$dll"
    e2e_check "$label: another program holds the DLL" grep -q holding "$E2E_ROOT/hold.log"
    run_update updated_held "$label: an update while the DLL is in use"
    e2e_check "$label: the update while the DLL is in use puts the layout back at place 1" \
      diff -u "$E2E_ROOT/installed$bits.state" "$E2E_ROOT/updated_held$bits.state"

    # A second user installs the layout for themselves while the first one uses it; their
    # input.dll fails, which leaves the installation as it is and adds a hint to the last box.
    e2e_wine wine "$regtool" import "$(e2e_winpath "$here/fixtures/second_user.reg")"
    export KB_INPUT_DOUBLE_FAIL=1
    run_update second_user "$label: a second user installs while the DLL is in use"
    unset KB_INPUT_DOUBLE_FAIL
    e2e_check "$label: input.dll failing, the final box says where to add the layout by hand" \
      grep -q 'von Hand hinzu' "$E2E_ROOT/second_user.transcript"
    e2e_check "$label: the second user has the layout at the head of the list" \
      diff -u "$E2E_ROOT/installed$bits.state" "$E2E_ROOT/second_user$bits.state"
    stop_holding
  fi

  move_layout_to_place_2
  state "$E2E_ROOT/moved$bits.state"
  e2e_script cancel <<'SCRIPT'
no Wollen Sie jetzt folgenden Tastatur-Treiber aktualisieren?
ok Installation abgebrochen.
SCRIPT
  e2e_check "$label: a run answered No" e2e_run cancel -- "$installer"
  e2e_script refused <<'SCRIPT'
ok Installationsprogramm falsch aufgerufen (mit Kommandoparameter /S)
SCRIPT
  e2e_check "$label: a parameter is refused" e2e_run refused -- "$installer" /S
  e2e_check "$label: the refusal comes before any window" \
    grep -q 'owner: none' "$E2E_ROOT/refused.transcript"
  state "$E2E_ROOT/unchanged$bits.state"
  e2e_check "$label: No and the refusal change nothing" \
    diff -u "$E2E_ROOT/moved$bits.state" "$E2E_ROOT/unchanged$bits.state"
  check_input_calls "$label: No and the refusal"

  # The Q7 layout alone in the user's list: the uninstaller refuses.
  e2e_wine wine "$regtool" import "$(e2e_winpath "$here/fixtures/single_preload.reg")"
  state "$E2E_ROOT/single$bits.state"
  e2e_script single <<'SCRIPT'
ok als einzig auswählbare Belegung hinterlegt.
SCRIPT
  e2e_check "$label: the uninstaller refuses while Preload holds the layout alone" \
    e2e_run --wait-image "$uninstaller" single -- "$folder/$uninstaller" "$key"
  state "$E2E_ROOT/single_after$bits.state"
  e2e_check "$label: the refusal changes nothing" \
    diff -u "$E2E_ROOT/single$bits.state" "$E2E_ROOT/single_after$bits.state"
  check_input_calls "$label: the uninstaller's refusal"
  move_layout_to_place_2 single_preload_undone.reg

  # The uninstaller as Windows runs the UninstallString: it copies itself into the temporary
  # folder, starts the copy and ends; the copy asks and removes everything. Another program
  # holds the layout DLL, as Windows does for a signed-in user who has the layout: the DLL goes
  # at the restart.
  start_holding "$system32/$dll"
  e2e_check "$label: another program holds the DLL before the removal" grep -q holding "$E2E_ROOT/hold.log"
  e2e_script uninstall <<'SCRIPT'
yes Soll folgender Tastatur-Treiber deinstalliert werden?
ok mit dem nächsten Neustart des Computers abgeschlossen.
SCRIPT
  e2e_check "$label: the uninstaller removes everything, the DLL in use at the restart" \
    e2e_run --wait-image "$uninstaller" uninstall -- "$folder/$uninstaller" "$key"
  stop_holding
  show "$E2E_ROOT/uninstall.transcript"
  check_input_calls "$label: the removal" 00000001
  pending_deletions >"$E2E_ROOT/pending$bits.txt"
  show "$E2E_ROOT/pending$bits.txt"
  e2e_check "$label: the DLL in use is listed for deletion at restart" \
    grep -qiE "system32.$dll -> \$" "$E2E_ROOT/pending$bits.txt"
  # The restart carries the list out.
  e2e_wine wineboot -r >/dev/null 2>&1
  state "$E2E_ROOT/removed$bits.state"
  show "$E2E_ROOT/removed$bits.state"
  e2e_check "$label: after the restart registry and files are as before the installation" \
    diff -u "$E2E_ROOT/before$bits.state" "$E2E_ROOT/removed$bits.state"
  e2e_check "$label: the copy in the temporary folder is listed for deletion at restart" \
    grep -qiE "windows.temp.*$uninstaller -> \$" "$E2E_ROOT/pending$bits.txt"
  # The copy ran from a private folder of its own below the Windows folder's Temp, which follows it.
  e2e_check "$label: after the copy, its private folder is listed for deletion at restart" \
    bash -c 'grep -iA1 -E "windows.temp.q7-deinstallation-[0-9a-f]{16}.$1 -> \$" "$2" | tail -n 1 |
             grep -qiE "windows.temp.q7-deinstallation-[0-9a-f]{16} -> \$"' _ "$uninstaller" \
    "$E2E_ROOT/pending$bits.txt"
}

uninstaller_program=$(realpath "$(dirname "$installer")/../uninstaller/$uninstaller")
doubles=$(realpath "$(dirname "$regtool")/../input_double")
for double in "$doubles/x86/input.dll" "$doubles/x64/input.dll"; do
  [ -f "$double" ] || { echo "$0: no input.dll double $double (build the tools)" >&2; exit 2; }
done
for bits in "${bitnesses[@]}"; do
  run_scenario "$bits"
done
e2e_finish


# Shared bash helpers for the end-to-end tests: a private X display, scratch Wine prefixes, programs run under the dialog driver.
#
# A test sources this file and goes through four steps: display, prefix, runs under the driver
# with a script, comparison of each transcript with an expected file.
#
#   #!/usr/bin/env bash
#   # One line saying what the test checks.
#   set -euo pipefail
#   source "$(dirname "$0")/lib.sh"
#   E2E_DRIVER=$(realpath "$1")            # the built dialog_driver.exe, set before e2e_prefix
#   e2e_init                               # scratch root and home; everything is cleaned up at exit
#   e2e_start_display 1024x768x24          # Xvfb on a free display, DISPLAY exported
#   e2e_prefix main                        # 64-bit prefix "main"; "e2e_prefix old win32" for 32-bit
#
#   e2e_script ask <<'EOF'                 # writes $E2E_ROOT/ask.script
#   # the first box asks, "Ja" is pressed
#   yes Wollen Sie jetzt folgenden Tastatur-Treiber installieren?
#   ok
#   EOF
#   e2e_check "install, answered yes" \
#     e2e_expect_run 0 ask "$here/expected/ask.txt" -- "$program" /S   # driver status, script, expected
#   e2e_finish                             # prints "NAME: N passed, N failed" and sets the exit status
#
# e2e_run runs one program under the driver and leaves the transcript in $E2E_ROOT/NAME.transcript
# (the driver's messages in NAME.driver.log, copied to stderr); e2e_compare diffs a transcript
# against an expected file. Options in front of the script name of e2e_run and e2e_expect_run go to
# the driver: --timeout SECONDS, --wait-image NAME (repeatable), --screenshots PREFIX (a Unix
# path; e2e_png turns the driver's pictures into PNG files), --verbose. Program arguments go
# as they are: e2e_winpath turns a Unix path into the Z: path the program sees; e2e_wine runs any
# other Wine command (wine reg, a tool) with the test locale in the current prefix.
# Two prefixes boot at the same time with "e2e_prefix_create A win64 & e2e_prefix_create B win32 &
# wait" before e2e_prefix; e2e_prefix switches between prefixes, each keeps its own wineserver and
# a driver in --hold mode that keeps its desktop process up (see e2e_hold_desktop).
#
# Environment:
#   KB_E2E_ROOT    scratch root to use (kept at exit, so a second run reuses its prefixes); by default
#                  a new temporary directory, removed at exit. Tests sharing one root must not run at the
#                  same time: a driver sees the boxes of every process of its prefix's wineserver.
#                  tools/run-tests gives every Wine test of the run one root, KB_WINE_ROOT, whose
#                  prefixes p64 and p32 tools/wine-run uses too: each boots once per run, and each
#                  test starts from the state the one before left (the tests' seeds reset what
#                  they depend on).
#   KB_E2E_KEEP=1  keep the temporary root after the run, to look at transcripts and logs.
#   KB_E2E_VERBOSE=1  the driver reports its progress, with times, on stderr.
#
# Every Wine command runs with WINEDEBUG=-all, winemenubuilder disabled, HOME inside the root and
# LC_ALL=de_DE.UTF-8: Wine then takes German as the user's language and layout 00000407, whether or
# not that glibc locale is installed. A prefix's windows are not handed to a window manager
# (X11 Driver "Managed"="N"): with no window manager on the display, Wine otherwise waits about two
# seconds each time a captioned window is hidden.

E2E_LOCALE=de_DE.UTF-8
E2E_ROOT=""
E2E_OWN_ROOT=0
E2E_XVFB_PID=""
E2E_READY=.kb-e2e-ready
E2E_PASSED=0
E2E_FAILED=0
E2E_DRIVER="${E2E_DRIVER:-}"

e2e_log() { echo "e2e: $*" >&2; }

e2e_now_ms() { echo $(($(date +%s%N) / 1000000)); }

# e2e_init: creates (or takes) the scratch root and its home, and arranges the cleanup at exit.
e2e_init() {
  if [ -n "${KB_E2E_ROOT:-}" ]; then
    E2E_ROOT=$(realpath -m "$KB_E2E_ROOT")
    mkdir -p "$E2E_ROOT"
  else
    E2E_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/kb-e2e.XXXXXX")
    E2E_OWN_ROOT=1
  fi
  e2e_environment
  trap e2e_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

E2E_TOOLS=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tools" && pwd)

# e2e_environment: the home inside the root and the Wine settings of every run (E2E_ROOT set).
# Where 32-bit programs do not run (KB_NO_32BIT=1, or found so when it is not set), "wine" is
# the 64-bit loader alone: Debian's wine would start the 32-bit one, which cannot run there.
e2e_environment() {
  mkdir -p "$E2E_ROOT/home"
  export HOME="$E2E_ROOT/home"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="winemenubuilder.exe=d"
  unset WINEARCH WINESERVER WINELOADER
  # The run's name, which a failed boot is marked with: tools/run-tests gives all its tests one.
  export KB_E2E_RUN="${KB_E2E_RUN:-$$.$(date +%s%N)}"
  if [ -z "${KB_NO_32BIT:-}" ]; then
    KB_NO_32BIT=0
    "$E2E_TOOLS/wine-32bit-check" >/dev/null || KB_NO_32BIT=1
  fi
  export KB_NO_32BIT
  if [ "$KB_NO_32BIT" = 1 ]; then
    case ":$PATH:" in
      *":$E2E_TOOLS/wine64:"*) ;;
      *) export PATH="$E2E_TOOLS/wine64:$PATH" ;;
    esac
  fi
}

# e2e_cleanup: stops the wineservers of the root's prefixes and Xvfb, and removes a temporary root.
e2e_cleanup() {
  local status=$? job dir
  trap - EXIT
  # A prefix still booting in the background: its shell goes now, its Wine processes with the server.
  for job in $(jobs -p); do
    [ "$job" = "$E2E_XVFB_PID" ] || kill "$job" 2>/dev/null || true
  done
  if [ -n "$E2E_ROOT" ]; then
    for dir in "$E2E_ROOT"/*/; do
      [ "$dir" != "$E2E_ROOT/home/" ] || continue
      WINEPREFIX="${dir%/}" wineserver -k >/dev/null 2>&1 || true
    done
    for dir in "$E2E_ROOT"/*/; do
      [ "$dir" != "$E2E_ROOT/home/" ] || continue
      WINEPREFIX="${dir%/}" timeout 10 wineserver -w >/dev/null 2>&1 || true
    done
  fi
  if [ -n "$E2E_XVFB_PID" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null || true
    wait "$E2E_XVFB_PID" 2>/dev/null || true
    E2E_XVFB_PID=""
  fi
  if [ "$E2E_OWN_ROOT" = 1 ] && [ -n "$E2E_ROOT" ]; then
    if [ "${KB_E2E_KEEP:-0}" = 1 ]; then
      e2e_log "kept $E2E_ROOT"
    else
      rm -rf "$E2E_ROOT"
    fi
  fi
  return "$status"
}

# e2e_start_display [WxHxDEPTH]: starts Xvfb on a display no one uses and exports DISPLAY. Its
# files are the shell's own: tools/wine-run may start one beside a test of the same root.
e2e_start_display() {
  local size=${1:-1024x768x24} number_file="$E2E_ROOT/xvfb.$$.display" i
  rm -f "$number_file"
  Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp 3>"$number_file" >"$E2E_ROOT/xvfb.$$.log" 2>&1 &
  E2E_XVFB_PID=$!
  for ((i = 0; i < 200; i++)); do
    if [ -s "$number_file" ]; then
      export DISPLAY=":$(head -n 1 "$number_file")"
      rm -f "$number_file"
      return 0
    fi
    if ! kill -0 "$E2E_XVFB_PID" 2>/dev/null; then break; fi
    sleep 0.05
  done
  e2e_log "Xvfb did not start:"
  cat "$E2E_ROOT/xvfb.$$.log" >&2
  return 1
}

# e2e_wine COMMAND [ARGS...]: runs a Wine command in the current prefix with the test locale.
e2e_wine() { env LC_ALL="$E2E_LOCALE" LANG="$E2E_LOCALE" "$@"; }

# e2e_prefix_create NAME [win64|win32]: creates prefix NAME under the root unless it exists, with
# its wineserver kept running until the end of the run. It may run in the background, one per
# prefix, so that two prefixes boot at the same time. A boot that fails is reported once, with
# Wine's messages, and its server stopped; later calls for the prefix fail with one line.
e2e_prefix_create() {
  local name=$1 arch=${2:-${WINEARCH:-win64}} dir="$E2E_ROOT/$1"
  (
    export WINEPREFIX="$dir"
    exec 9>"$dir.lock"
    flock 9
    if [ -f "$dir/$E2E_READY" ]; then exit 0; fi
    if [ "$(cat "$dir.failed" 2>/dev/null)" = "$KB_E2E_RUN" ]; then
      e2e_log "prefix $name ($arch) failed to boot earlier in this run"
      exit 1
    fi
    started=$(e2e_now_ms)
    rm -rf "$dir"
    mkdir -p "$dir"
    if [ "$arch" = win32 ] && [ "$KB_NO_32BIT" = 1 ]; then
      e2e_boot_failed "a 32-bit prefix needs 32-bit programs, which do not run here" ;
    fi
    # Started first so that wineboot and every later program use this one server; it takes the
    # prefix's architecture from WINEARCH as wineboot does. Its output goes to the log alone:
    # a server keeps whatever files it was given open for as long as it runs.
    e2e_closing_inherited_files env WINEARCH="$arch" wineserver -p </dev/null >>"$dir.boot.log" 2>&1
    if ! WINEARCH="$arch" e2e_wine wineboot -i >>"$dir.boot.log" 2>&1 9>&-; then
      e2e_boot_failed "wineboot failed"
    fi
    if ! e2e_wine wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$dir.boot.log" 2>&1 9>&-; then
      e2e_boot_failed "cannot set the X11 driver's Managed value"
    fi
    if [ "$(readlink "$dir/dosdevices/z:")" != / ]; then
      e2e_boot_failed "drive Z: is not the root directory"
    fi
    e2e_hold_desktop
    touch "$dir/$E2E_READY"
    e2e_log "prefix $name ($arch) booted in $(($(e2e_now_ms) - started)) ms"
  )
}

# e2e_boot_failed REASON: inside e2e_prefix_create, reports the failed boot with Wine's
# messages, stops the prefix's server, marks the prefix failed for the rest of the run (a later
# run tries again), exits.
e2e_boot_failed() {
  e2e_log "prefix $name ($arch) failed to boot: $1"
  [ ! -s "$dir.boot.log" ] || sed 's/^/  /' "$dir.boot.log" >&2
  wineserver -k >/dev/null 2>&1 9>&- || true
  timeout 10 wineserver -w >/dev/null 2>&1 9>&- || true
  echo "$KB_E2E_RUN" >"$dir.failed"
  exit 1
}

# e2e_closing_inherited_files COMMAND...: runs the command with standard input, output and error
# alone of the caller's open files, for a server that outlives it.
e2e_closing_inherited_files() {
  (
    local fd
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-" 2>/dev/null
    done
    exec "$@"
  )
}

# e2e_prefix NAME [win64|win32]: makes NAME the current prefix, creating it when needed; its
# wineserver keeps running until the end of the run.
e2e_prefix() {
  [ -n "$E2E_DRIVER" ] || e2e_log "E2E_DRIVER is not set: the desktop of prefix $1 is not held"
  e2e_prefix_create "$@" || return 1
  export WINEPREFIX="$E2E_ROOT/$1"
  # Exit status 2: the server is running already, and so is its desktop holder.
  local status=0
  wineserver -p </dev/null >/dev/null 2>&1 || status=$?
  case $status in
    0) e2e_hold_desktop ;;
    2) ;;
    *) return 1 ;;
  esac
}

# e2e_hold_desktop: keeps the current prefix's desktop process up until its server stops. Wine
# ends the desktop a few seconds after the last program that used it; the next program then
# waits for a new one, up to ten seconds measured right after a prefix was booted.
# Without E2E_DRIVER (tools/wine-run, which runs one program) nothing is held.
e2e_hold_desktop() {
  [ -n "$E2E_DRIVER" ] || return 0
  e2e_wine wine "$E2E_DRIVER" --hold </dev/null >/dev/null 2>&1 9>&- &
}

# e2e_winpath PATH: the path as the prefix's programs see it (drive Z: is /).
e2e_winpath() {
  local p
  p=$(realpath -m "$1")
  p=${p//\//\\}
  echo "Z:$p"
}

# e2e_script NAME: writes standard input to $E2E_ROOT/NAME.script.
e2e_script() { cat >"$E2E_ROOT/$1.script"; }

# e2e_run [DRIVER OPTIONS] NAME -- PROGRAM [ARGS...]: runs PROGRAM under the dialog driver with the
# script $E2E_ROOT/NAME.script; the transcript goes to $E2E_ROOT/NAME.transcript. PROGRAM is a Unix
# path; ARGS go to it as they are. Returns the driver's exit status.
e2e_run() {
  local options=() name program started status
  while [ $# -gt 0 ] && [ "${1#--}" != "$1" ]; do
    case $1 in
      --timeout | --wait-image) options+=("$1" "$2"); shift 2 ;;
      --screenshots) options+=("$1" "$(e2e_winpath "$2")"); shift 2 ;;
      --verbose) options+=("$1"); shift ;;
      *) e2e_log "e2e_run: unknown option $1"; return 2 ;;
    esac
  done
  name=$1
  shift
  [ "${1:-}" = -- ] || { e2e_log "e2e_run: expected -- after the script name"; return 2; }
  shift
  program=$1
  shift
  [ -n "$E2E_DRIVER" ] || { e2e_log "e2e_run: E2E_DRIVER is not set"; return 2; }
  [ "${KB_E2E_VERBOSE:-0}" != 1 ] || options+=(--verbose)
  [ -n "${WINEPREFIX:-}" ] && [ -n "${DISPLAY:-}" ] || { e2e_log "e2e_run: no prefix or no display"; return 2; }
  rm -f "$E2E_ROOT/$name.transcript"
  started=$(e2e_now_ms)
  status=0
  # Wine services that the run starts outlive it and keep the files it was given open: the driver
  # therefore writes to a log file, never to the caller's pipe, which would then not reach its end.
  e2e_wine wine "$E2E_DRIVER" "${options[@]}" \
    --script "$(e2e_winpath "$E2E_ROOT/$name.script")" \
    --transcript "$(e2e_winpath "$E2E_ROOT/$name.transcript")" \
    -- "$(e2e_winpath "$program")" "$@" </dev/null >"$E2E_ROOT/$name.driver.log" 2>&1 || status=$?
  cat "$E2E_ROOT/$name.driver.log" >&2
  e2e_log "$name: driver exit $status after $(( $(e2e_now_ms) - started )) ms in $(basename "$WINEPREFIX")"
  return "$status"
}

# e2e_compare EXPECTED ACTUAL [SED-EXPRESSION...]: fails, showing the difference, unless ACTUAL
# (after the sed expressions, for parts that change from run to run) equals EXPECTED. Lines of
# EXPECTED that start with "#" say what the file is for and are not compared: no transcript line
# starts with "#".
e2e_compare() {
  local expected=$1 actual=$2 normalized expr wanted
  shift 2
  [ -f "$actual" ] || { e2e_log "no transcript $actual"; return 1; }
  normalized="$actual.normalized"
  cp "$actual" "$normalized"
  for expr in "$@"; do sed -i -e "$expr" "$normalized"; done
  [ -f "$expected" ] || { e2e_log "no expected transcript $expected"; return 1; }
  wanted="$actual.expected"
  grep -v '^#' "$expected" >"$wanted" || true
  if ! diff -u --label "expected: $expected" --label "actual: $actual" "$wanted" "$normalized" >&2; then
    return 1
  fi
}

# e2e_expect_run STATUS [DRIVER OPTIONS] NAME EXPECTED -- PROGRAM [ARGS...]: runs e2e_run and fails
# unless the driver's exit status is STATUS and the transcript equals EXPECTED.
e2e_expect_run() {
  local want=$1 options=() name expected status=0
  shift
  while [ $# -gt 0 ] && [ "${1#--}" != "$1" ]; do
    case $1 in
      --timeout | --wait-image | --screenshots) options+=("$1" "$2"); shift 2 ;;
      *) options+=("$1"); shift ;;
    esac
  done
  name=$1 expected=$2
  shift 2
  e2e_run "${options[@]}" "$name" "$@" || status=$?
  if [ "$status" != "$want" ]; then
    e2e_log "$name: the driver exited $status, expected $want; transcript:"
    cat "$E2E_ROOT/$name.transcript" >&2 2>/dev/null || true
    return 1
  fi
  e2e_compare "$expected" "$E2E_ROOT/$name.transcript"
}

# e2e_png BMP PNG: converts a picture the driver saved (--screenshots) into a PNG file and
# removes the BMP file.
e2e_png() {
  bmptopnm "$1" 2>/dev/null | pnmtopng >"$2" 2>/dev/null && [ -s "$2" ] && rm -f "$1"
}

# e2e_png_size PNG: "WIDTHxHEIGHT" of a PNG file, read back through its decoder.
e2e_png_size() {
  pngtopnm "$1" 2>/dev/null | pnmfile | sed -nE 's/.* ([0-9]+) by ([0-9]+) .*/\1x\2/p'
}

# e2e_check TITLE COMMAND [ARGS...]: runs one check and counts it as passed or failed.
e2e_check() {
  local title=$1
  shift
  if "$@"; then
    E2E_PASSED=$((E2E_PASSED + 1))
    echo "PASS: $title"
  else
    E2E_FAILED=$((E2E_FAILED + 1))
    echo "FAIL: $title"
  fi
}

# e2e_finish [NAME]: prints the count line and returns non-zero when a check failed or none ran.
e2e_finish() {
  local name=${1:-$(basename "$0" .sh)}
  echo "$name: $E2E_PASSED passed, $E2E_FAILED failed"
  [ "$E2E_FAILED" -eq 0 ] && [ "$E2E_PASSED" -gt 0 ]
}

#!/usr/bin/env bash
# tests/e2e/lib.sh against stand-in Wine commands: a prefix whose boot failed in one run boots in the next run that shares the root (KB_E2E_ROOT, or tools/wine-run's default root).
#
#   bash tests/scripts/prefix_boot_retry_test.sh LIB_SH
set -euo pipefail
lib=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/kb-boot-retry.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/root"

# KB_NO_32BIT=0 keeps the stand-ins first on the PATH (with 1, lib.sh puts tools/wine64 in front).
# Stand-ins: wineserver does nothing; wine succeeds; wineboot fails while $work/wineboot-fails
# exists, else makes the prefix's drive Z: as Wine does.
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wineserver"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wine"
cat >"$work/bin/wineboot" <<STANDIN
#!/bin/sh
if [ -e "$work/wineboot-fails" ]; then echo "wineboot: cannot open display" >&2; exit 1; fi
mkdir -p "\$WINEPREFIX/dosdevices" && ln -sfn / "\$WINEPREFIX/dosdevices/z:"
STANDIN
chmod +x "$work/bin/"*

# boot: one run of a script that boots prefix p64 in the shared root, as tools/wine-run does.
boot() {
  PATH="$work/bin:$PATH" KB_NO_32BIT=0 KB_E2E_RUN="" bash -c '
    unset KB_E2E_RUN
    source "$1"
    E2E_ROOT=$2
    e2e_environment
    e2e_prefix_create p64 win64' _ "$lib" "$work/root" >"$work/out" 2>&1
}

touch "$work/wineboot-fails"
if boot; then echo "FAIL: the stand-in wineboot did not fail the first boot"; exit 1; fi
rm "$work/wineboot-fails"
# Counted as the end-to-end tests count their checks.
# shellcheck source=tests/e2e/lib.sh
source "$lib"
boots_again() { boot && [ -e "$work/root/p64/.kb-e2e-ready" ] || { cat "$work/out"; return 1; }; }
e2e_check "a later run boots the prefix that failed to boot before" boots_again
e2e_finish prefix_boot_retry

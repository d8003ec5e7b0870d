#!/usr/bin/env bash
# tools/install-deps against a stand-in apt-get: a mirror out of sync, a failed install, and apt's own failure.
#
#   bash tests/scripts/install_deps_test.sh INSTALL_DEPS
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
install_deps=$(realpath "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/kb-install-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The stand-ins: no package is installed, i386 is a foreign architecture already, and apt-get
# records its calls and fails as told. APT_UPDATE_FAILS: how many index updates fail;
# APT_INSTALL_FAILS: none, plain (without a target release) or all.
mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
echo "$*" >>"$CALLS"
case $1 in
  update)
    count=$(grep -c '^update' "$CALLS")
    if [ "$count" -le "$APT_UPDATE_FAILS" ]; then
      echo "E: Failed to fetch http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
      exit 100
    fi ;;
  install)
    if [ "$APT_INSTALL_FAILS" = all ] || { [ "$APT_INSTALL_FAILS" = plain ] && [[ " $* " != *" -t bookworm "* ]]; }; then
      echo "E: Unable to correct problems, you have held broken packages." >&2
      exit 100
    fi ;;
esac
exit 0
STANDIN
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query"
printf '#!/bin/sh\n[ "$1" = --print-foreign-architectures ] && echo i386\nexit 0\n' >"$work/bin/dpkg"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

# apt_run UPDATE_FAILS INSTALL_FAILS STATUS CALLS MESSAGE: runs install-deps; true when its exit
# status, the apt-get calls (their first words, with -t and its release, joined by "; ") and a
# text its output must hold are as given.
apt_run() {
  local status=0 calls
  rm -f "$work/calls" && touch "$work/calls"
  CALLS="$work/calls" APT_UPDATE_FAILS=$1 APT_INSTALL_FAILS=$2 KB_APT_PAUSE=0 \
    PATH="$work/bin:$PATH" timeout 60 bash "$install_deps" >"$work/out" 2>&1 || status=$?
  calls=$(sed -E 's/^(update|install)( .* -t bookworm)?.*/\1\2/; s/ -y -qq//' "$work/calls" | paste -sd ';' | sed 's/;/; /g')
  [ "$status" = "$3" ] && [ "$calls" = "$4" ] && grep -qF -- "$5" "$work/out" && return 0
  echo "exit $status (expected $3), calls \"$calls\" (expected \"$4\"), output:"
  sed 's/^/  /' "$work/out"
  return 1
}
# case_ NAME UPDATE_FAILS INSTALL_FAILS STATUS CALLS MESSAGE: apt_run, counted.
case_() { e2e_check "$1" apt_run "${@:2}"; }

case_ "an index that stays out of sync: the main suite" 9 none 0 \
  "update; update; update; install -t bookworm" \
  "an index still failed after 3 updates; installing from the main suite (bookworm) instead"
case_ "an index that fails once: the second update, the plain install" 1 none 0 \
  "update; update; install" "install-deps: installing cmake"
case_ "an install that fails: again from the main suite" 0 plain 0 \
  "update; install; install -t bookworm" \
  "the install failed; installing from the main suite (bookworm) instead"
case_ "an install that fails either way stops with apt's message" 0 all 100 \
  "update; install; install -t bookworm" "held broken packages"
case_ "the mirror and the install failing stop with apt's message" 9 all 100 \
  "update; update; update; install -t bookworm" "Mirror sync in progress?"

e2e_finish install_deps

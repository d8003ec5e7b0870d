#!/usr/bin/env bash
# The signed build: a throw-away self-signed code-signing certificate, a signed Windows build in
# a folder of its own (twice, for the repeatable build), and what a layout author relies on:
# both programs verify, the installer carries the signed uninstaller, a changed byte breaks the
# signature, and the signed programs pass the install round trip under Wine in one prefix.
#
#   bash tests/signing/signed_build.sh [build|check]   (from tools/run-tests; KB_WINE_ROOT as it
#   sets it). "build" makes the certificate and the two signed builds, "check" checks them and
#   runs the round trip; without a word, both. tools/run-tests makes the builds beside the Wine
#   suites, which leave the cores idle most of the time. KB_SIGNED_PRESET=windows-x64 signs the
#   64-bit programs instead of the 32-bit ones (the preset "windows"), for machines that run no
#   32-bit programs.
set -euo pipefail
cd "$(dirname "$0")/../.."

step=${1:-all}
case $step in
  build | check | all) ;;
  *) echo "usage: $0 [build|check]" >&2; exit 2 ;;
esac
preset=${KB_SIGNED_PRESET:-windows}
case $preset in
  windows) kind=64 ;;
  windows-x64) kind=x64 ;;
  *) echo "signed_build: KB_SIGNED_PRESET is windows or windows-x64, not $preset" >&2; exit 2 ;;
esac
# The certificate and its key, kept from the build to the checks.
work=build/$preset-signing-work
# The key goes with the run, unless the checks are still to come in another run.
[ "$step" = build ] || trap 'rm -rf "$work"' EXIT

if [ "$step" != check ]; then
rm -rf "$work"
mkdir -p "$work"
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 7 -subj "/CN=Q7-Tastaturwerkstatt Test" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null

# One signing time for both builds (inside the new certificate's validity), as SOURCE_DATE_EPOCH
# gives a repeatable build.
export SOURCE_DATE_EPOCH=$(date +%s)
signed_build() {
  local folder=$1
  shift
  cmake --preset "$preset" -B "$folder" -DKB_SIGN_CERT="$work/cert.pem" -DKB_SIGN_KEY="$work/key.pem" \
    >/dev/null
  cmake --build "$folder" -j"$(nproc)" --target "$@"
}
# Both take the objects of the run's unsigned build from its compiler cache (tools/cached-compile):
# what signing changes is in the links, the resources and the signatures, and these are made anew
# in each build. A source whose objects could differ between builds (a generated header with a
# time, a changed option) is no cache hit and is compiled again.
signed_build "build/$preset-signed" kbinstall dialog_driver regtool input_double
signed_build "build/$preset-signed-again" kbinstall
echo "signed builds made"
fi
[ "$step" != build ] || exit 0

[ -f "$work/cert.pem" ] || { echo "signed_build: no signed builds; run '$0 build' first" >&2; exit 1; }

# The checks are counted as the end-to-end tests count theirs.
# shellcheck source=tests/e2e/lib.sh
source tests/e2e/lib.sh

signed=build/$preset-signed
# shellcheck source=/dev/null
source "$signed/product.sh"
installer=$signed/installer/$kb_installer
uninstaller=$signed/uninstaller/$kb_uninstaller

verifies() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }
e2e_check "the uninstaller verifies" verifies "$uninstaller"
e2e_check "the installer verifies" verifies "$installer"
e2e_check "the signature names the product and its web address" \
  bash -c 'osslsigncode verify -CAfile "$1" -in "$2" 2>&1 | grep -qF "$3"' _ \
  "$work/cert.pem" "$installer" "$kb_uninstall_display_name"

# The installer's sixth payload is the signed uninstaller, byte for byte: its bytes stand in the
# installer's resources whole.
carries() {
  local needle haystack
  needle=$(od -An -v -tx1 "$1" | tr -d ' \n')
  haystack=$(od -An -v -tx1 "$2" | tr -d ' \n')
  [[ $haystack == *"$needle"* ]]
}
e2e_check "the installer carries the signed uninstaller" carries "$uninstaller" "$installer"
e2e_check "the unsigned build's uninstaller carries no signature" \
  bash -c '! osslsigncode verify -CAfile "$1" -in "$2" >/dev/null 2>&1' _ "$work/cert.pem" \
  "build/$preset/uninstaller/$kb_uninstaller"

# One changed byte in the middle of the installer, and its signature no longer holds.
cp "$installer" "$work/changed.exe"
size=$(stat -c %s "$work/changed.exe")
printf '\x5a' | dd of="$work/changed.exe" bs=1 seek=$((size / 2)) conv=notrunc status=none
e2e_check "a program with one changed byte does not verify" \
  bash -c '! cmp -s "$1" "$2" && ! osslsigncode verify -CAfile "$3" -in "$1" >/dev/null 2>&1' _ \
  "$work/changed.exe" "$installer" "$work/cert.pem"

e2e_check "two signed builds give the same installer" \
  cmp "$installer" "build/$preset-signed-again/installer/$kb_installer"
e2e_check "two signed builds give the same uninstaller" \
  cmp "$uninstaller" "build/$preset-signed-again/uninstaller/$kb_uninstaller"

e2e_check "the signed programs pass the install round trip (64-bit prefix)" \
  bash tests/e2e/install_roundtrip.sh "$signed/tools/dialog_driver/dialog_driver.exe" \
  "$signed/tools/regtool/regtool.exe" "$installer" "$signed/payload" "$signed/product.sh" "$kind"

printf 'signed programs: installer %d bytes (unsigned %d), uninstaller %d bytes (unsigned %d)\n' \
  "$(stat -c %s "$installer")" "$(stat -c %s "build/$preset/installer/$kb_installer")" \
  "$(stat -c %s "$uninstaller")" "$(stat -c %s "build/$preset/uninstaller/$kb_uninstaller")"
e2e_finish signed_build

#!/usr/bin/env bash
# The manifest resource of each built program: elevation, the supported Windows versions, both kinds of DPI awareness and Common Controls 6.
#
#   bash tests/e2e/manifest_check.sh WINDRES PROGRAM... -- PROGRAM_WITHOUT_MANIFEST
#   (WINDRES: the toolchain's resource compiler, which reads a program's resources back as a
#   script; the program after -- has no manifest and must be found lacking)
set -euo pipefail
export LC_ALL=C
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

[ $# -ge 4 ] || { echo "usage: $0 WINDRES PROGRAM... -- PROGRAM_WITHOUT_MANIFEST" >&2; exit 2; }
windres=$1
shift

# The text of resource 1 of type 24 (RT_MANIFEST, the one Windows reads when it starts the
# program) on one line, white space as single blanks, comments left out.
manifest_of() {
  "$windres" -J coff -O rc -i "$1" |
    awk '/^1 24 / { found = 1; next } found && /^END/ { exit } found && /^ *"/ { print }' |
    sed -E 's/^ *"//; s/"$//; s/""/"/g; s/\\n/ /g' | tr -s ' \t\r\n' ' ' |
    sed -E 's/<!--([^-]|-[^-])*-->//g; s/  +/ /g'
}

parts=('<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>'
       '<application xmlns="urn:schemas-microsoft-com:asm.v3"> <windowsSettings>'
       '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/pm</dpiAware>'
       '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>'
       '<dependency> <dependentAssembly> <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/> </dependentAssembly> </dependency>'
       # Vista, 7, 8, 8.1, 10 and 11
       '<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/> <supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/> <supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/> <supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/> <supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>')

# complete PROGRAM: its manifest holds every part; the missing ones are named.
complete() {
  local manifest part status=0
  manifest=$(manifest_of "$1")
  for part in "${parts[@]}"; do
    [[ $manifest == *"$part"* ]] || { e2e_log "$(basename "$1") lacks $part"; status=1; }
  done
  return "$status"
}
lacking() { ! complete "$1" 2>/dev/null; }

while [ "$1" != -- ]; do
  e2e_check "$(basename "$1"): elevation, Windows versions, DPI awareness, Common Controls 6" complete "$1"
  shift
done
e2e_check "$(basename "$2") without them is found lacking" lacking "$2"
e2e_finish

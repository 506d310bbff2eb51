#!/usr/bin/env bash
# Builds the plug-in DLL (win32 preset) and plays the demo session in the host
# simulator under Wine: the manifest, then each step of the scripted session
# and every call the plug-in made into the host ("host>" lines).
#   scripts/demo.sh [scenario.scn]      (default: tests/wine/scenarios/demo.scn)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
scenario=${1:-$root/tests/wine/scenarios/demo.scn}
build=$root/build/win32
wine_dir=$build/wine

cd "$root"
bash scripts/install-deps.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32

trap '"$root/tests/wine/wine-env.sh" stop "$wine_dir" >/dev/null' EXIT
"$root/tests/wine/wine-env.sh" start "$wine_dir" >/dev/null

echo
MORVANE_WINE_DIR=$wine_dir "$root/tests/wine/wine-run.sh" \
  "$build/tests/wine/bin/hostsim.exe" -v --plugin "$build/com.tavrel.dll" "$scenario"

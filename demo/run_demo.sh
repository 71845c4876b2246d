#!/usr/bin/env bash
# Runs the demo in the build's 32-bit prefix; called by demo.sh on a display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
shift
# shellcheck source=tests/wine/harness.sh
source "$root/tests/wine/harness.sh"
wh_trap_install
wh_prefix_up win32 "$build/wine/win32"
# The virtual cable: the control on COM5, the demo's printer and scanner on COM6.
wh_com_pair 5 6
export ORVANTA_PEER_PORTS=COM5:COM6
mkdir -p "$build/wine/demo"
cd "$build/wine/demo"
wh_run 300 "$build/wine/demo.log" "$build/i686/orvanta_demo.exe" "$@"

#!/usr/bin/env bash
# Runs the demo in the build's prefix of its architecture; called by demo.sh.
#   run_demo.sh BUILD i686|x86_64 [DEMO ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$1
arch=$2
shift 2
prefix_arch=win32
[ "$arch" = x86_64 ] && prefix_arch=win64
# shellcheck source=tests/wine/harness.sh
source "$root/tests/wine/harness.sh"
wh_trap_install
wh_prefix_up "$prefix_arch" "$build/wine/$prefix_arch"
# The virtual cable: the control on COM5, the demo's printer and scanner on COM6.
wh_com_pair 5 6
export ORVANTA_PEER_PORTS=COM5:COM6
mkdir -p "$build/wine/demo"
cd "$build/wine/demo"
wh_run 300 "$build/wine/demo.log" "$build/$arch/orvanta_demo.exe" "$@"

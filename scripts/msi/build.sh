#!/usr/bin/env bash
# Makes the Windows Installer package of each build in STAGE (x86/ORVANTA.OCX,
# x64/ORVANTA.OCX) as STAGE/NAME-x86.msi and STAGE/NAME-x64.msi. The registry
# rows come from the module itself: orvanta_regdump.exe runs its registration
# under Wine (a 64-bit prefix of its own; the 32-bit build where this machine
# runs 32-bit programs, else the 64-bit build's record serves both, which
# make_wxs.py says). WORK keeps each record (regdump-ARCH.txt) and .wxs.
#   build.sh STAGE WORK NAME
set -euo pipefail
stage=$1 work=$2 name=$3
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${ORVANTA_BUILD:-$root/build}
# shellcheck source=tests/wine/harness.sh
source "$root/tests/wine/harness.sh"
wh_trap_install

wh_prefix_up win64 "$build/wine/release-win64" ||
    { echo "msi: the Wine prefix did not come up (log: $build/wine/release-win64/.wh/setup.log)" >&2; exit 1; }
declare -A from=([x64]=x86_64 [x86]=i686)
for folder in x64 x86; do
    dump="$work/regdump-$folder.txt"
    if [ "$folder" = x86 ] && ! wh_can_run win32; then
        echo "msi: the 32-bit build's registration not run: $(wh_why_not win32)"
        dump="$work/regdump-x64.txt"
    else
        wh_run 120 "$work/regdump-$folder.log" "$build/${from[$folder]}/orvanta_regdump.exe" \
            "$(wh_winpath "$stage/$folder/ORVANTA.OCX")" "$(wh_winpath "$dump")" >/dev/null ||
            { cat "$work/regdump-$folder.log" >&2; echo "msi: recording the $folder registration failed" >&2; exit 1; }
    fi
    python3 "$root/scripts/msi/make_wxs.py" "$dump" "$folder" "$stage/$folder/ORVANTA.OCX" "$work/$name-$folder.wxs"
    wixl -a "$folder" -o "$stage/$name-$folder.msi" "$work/$name-$folder.wxs"
    echo "msi: $name-$folder.msi ($(grep -c '<RegistryValue' "$work/$name-$folder.wxs") registry rows)"
done
wh_prefix_down

#!/usr/bin/env bash
# The control's main job, as a demo under Wine, the way a user meets it:
# installs what is missing, builds ORVANTA.OCX for 32-bit Windows (64-bit
# where this machine cannot run 32-bit programs), registers it with regsvr32
# in the demo's own prefix and drives it from VBScript through COM: a print
# job to a printer on a virtual cable, then a scan session whose codes are
# typed into Notepad; a screenshot is saved under build/demo/. Last the
# same print job goes to a printer on the network, on the loopback address.
# With a DISPLAY the boxes wait for you; without one (or with
# ORVANTA_DEMO_AUTO=1) the demo runs on a virtual display, answers its own
# boxes and prints what they showed.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
build=${ORVANTA_BUILD:-$root/build}

bash scripts/bootstrap.sh
# shellcheck source=tests/wine/harness.sh
source tests/wine/harness.sh
if wh_can_run win32; then
    arch=i686
    echo "demo: 32-bit build"
elif wh_can_run win64; then
    arch=x86_64
    echo "demo: 64-bit build, since win32 cannot run here: $(wh_why_not win32)"
else
    echo "demo: this machine can run no Windows program: $(wh_why_not win32); $(wh_why_not win64)" >&2
    exit 1
fi
cmake -S . -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/$arch" -j "$(nproc)" --target ORVANTA orvanta_demo orvanta_event_host >/dev/null
echo "built $build/$arch/ORVANTA.OCX"

if [ -n "${DISPLAY:-}" ] && [ "${ORVANTA_DEMO_AUTO:-0}" != 1 ]; then
    exec bash "$root/demo/run_demo.sh" "$build" "$arch"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$root/demo/run_demo.sh" "$build" "$arch" --auto

#!/usr/bin/env bash
# The control's main job, as a demo under Wine: installs what is missing,
# builds ORVANTA.OCX and the demo for 32-bit Windows, and runs the demo.
# With a DISPLAY the boxes wait for you; without one (or with
# ORVANTA_DEMO_AUTO=1) the demo runs on a virtual display, answers its own
# boxes and prints what they showed.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
build=${ORVANTA_BUILD:-$root/build}

bash scripts/bootstrap.sh
cmake -S . -B "$build/i686" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/i686" -j "$(nproc)" --target ORVANTA orvanta_demo >/dev/null
echo "built $build/i686/ORVANTA.OCX"

if [ -n "${DISPLAY:-}" ] && [ "${ORVANTA_DEMO_AUTO:-0}" != 1 ]; then
    exec bash "$root/demo/run_demo.sh" "$build"
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$root/demo/run_demo.sh" "$build" --auto

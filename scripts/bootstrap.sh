#!/usr/bin/env bash
# Installs what the build, the demo and the tests need on Debian 12, once:
# a second run finds everything in place and installs nothing.
set -euo pipefail

packages=(
    cmake make g++ libgtest-dev googletest
    mingw-w64 mingw-w64-tools
    wine wine32:i386 wine64
    xvfb xauth x11-utils socat python3
    clang libclang-rt-14-dev cppcheck valgrind
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "bootstrap: installing ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null

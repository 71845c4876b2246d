#!/usr/bin/env bash
# Builds the release package build/release/orvanta-<version>.zip: both builds
# of ORVANTA.OCX in their own folders (x86, x64) with their side-by-side
# manifests and register/unregister scripts (machine-wide and per user), the
# samples, the reference and the install guide; then lists its contents.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${ORVANTA_BUILD:-$root/build}

if ! command -v i686-w64-mingw32-g++ >/dev/null || ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
    bash scripts/bootstrap.sh
fi

major=$(sed -n 's/^#define ORVANTA_VERSION_MAJOR \([0-9]*\)$/\1/p' resources/version.h)
minor=$(sed -n 's/^#define ORVANTA_VERSION_MINOR \([0-9]*\)$/\1/p' resources/version.h)
patch=$(sed -n 's/^#define ORVANTA_VERSION_PATCH \([0-9]*\)$/\1/p' resources/version.h)
version="$major.$minor.$patch"
name="orvanta-$version"

for arch in i686 x86_64; do
    cmake -S . -B "$build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build/$arch" -j 2 --target ORVANTA >/dev/null
done

stage="$build/release/$name"
rm -rf "$stage" "$build/release/$name.zip"
mkdir -p "$stage"

# A .cmd file with Windows line ends.
cmd() { sed 's/$/\r/' >"$1"; }

write_scripts() {  # FOLDER BITS
    local d=$1 bits=$2 pick
    if [ "$bits" = 32 ]; then
        pick='rem On 64-bit Windows a 32-bit OCX is registered with the 32-bit regsvr32 in SysWOW64.
set REGSVR=%SystemRoot%\System32\regsvr32.exe
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" set REGSVR=%SystemRoot%\SysWOW64\regsvr32.exe'
    else
        pick='rem The 64-bit regsvr32 (Sysnative when this runs in a 32-bit command prompt).
set REGSVR=%SystemRoot%\System32\regsvr32.exe
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set REGSVR=%SystemRoot%\Sysnative\regsvr32.exe'
    fi
    printf '@echo off\nrem Registers the %s-bit ORVANTA.OCX in this folder for all users. Run as administrator.\nsetlocal\n%s\n"%%REGSVR%%" "%%~dp0ORVANTA.OCX"\n' \
        "$bits" "$pick" | cmd "$d/register-machine.cmd"
    printf '@echo off\nrem Removes the machine-wide registration of the %s-bit ORVANTA.OCX. Run as administrator.\nsetlocal\n%s\n"%%REGSVR%%" /u "%%~dp0ORVANTA.OCX"\n' \
        "$bits" "$pick" | cmd "$d/unregister-machine.cmd"
    printf '@echo off\nrem Registers the %s-bit ORVANTA.OCX in this folder for the current user only (no administrator rights).\nsetlocal\n%s\n"%%REGSVR%%" /n /i:user "%%~dp0ORVANTA.OCX"\n' \
        "$bits" "$pick" | cmd "$d/register-user.cmd"
    printf '@echo off\nrem Removes the current user'"'"'s registration of the %s-bit ORVANTA.OCX.\nsetlocal\n%s\n"%%REGSVR%%" /u /n /i:user "%%~dp0ORVANTA.OCX"\n' \
        "$bits" "$pick" | cmd "$d/unregister-user.cmd"
}

for pair in "x86 i686 32" "x64 x86_64 64"; do
    read -r folder arch bits <<<"$pair"
    mkdir -p "$stage/$folder"
    cp "$build/$arch/ORVANTA.OCX" "$build/$arch/ORVANTA.manifest" "$stage/$folder/"
    write_scripts "$stage/$folder" "$bits"
done
cp -r samples "$stage/samples"
mkdir -p "$stage/docs"
cp docs/reference.md "$stage/docs/"
cp docs/install.md "$stage/INSTALL.md"
(cd "$stage" && find . -type f -printf '%P\n' | sort | xargs sha256sum >"$build/release/SHA256SUMS" &&
    mv "$build/release/SHA256SUMS" SHA256SUMS)

python3 - "$build/release" "$name" <<'PY'
import os, sys, zipfile
base, name = sys.argv[1], sys.argv[2]
path = os.path.join(base, name + ".zip")
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
    for folder, dirs, files in os.walk(os.path.join(base, name)):
        dirs.sort()
        for f in sorted(files):
            full = os.path.join(folder, f)
            z.write(full, os.path.relpath(full, base))
with zipfile.ZipFile(path) as z:
    for info in z.infolist():
        print("%9d  %s" % (info.file_size, info.filename))
print("release: %s (%d files, %d bytes)" % (path, len(z.infolist()), os.path.getsize(path)))
PY

#!/usr/bin/env bash
# Builds the release: build/release/orvanta-<version>.zip with both builds of
# ORVANTA.OCX in their own folders (x86, x64), stripped, with their
# side-by-side manifests and register/unregister scripts (machine-wide and
# per user), a Windows Installer package per build (per machine; it registers
# the control through its own registry table, made from what the module's
# registration writes), the samples (CRLF where a Windows IDE opens them),
# the reference and the install guide, a read-me for Windows users (which says
# whether the release is signed), the licence, the third-party notices, the
# change history, and SHA256SUMS of every file in it.
# Beside it: orvanta-<version>-symbols.zip (the debug symbols of both builds,
# which the shipped files name by .gnu_debuglink) and SHA256SUMS of both zips.
#
# Signing: unsigned unless a code-signing certificate is given, then both
# OCX builds and both packages are signed with osslsigncode and verified:
#   ORVANTA_SIGN_CERT   certificate (PEM, with its chain) or a .pfx/.p12 file
#   ORVANTA_SIGN_KEY    its private key (PEM; not for .pfx/.p12)
#   ORVANTA_SIGN_PASS_FILE  a file holding the key's or the .pfx's password
#   ORVANTA_SIGN_CA     CA certificates to verify against
#                       (default /etc/ssl/certs/ca-certificates.crt)
#   ORVANTA_TIMESTAMP_URL   an RFC 3161 time-stamp server (optional)
#   ORVANTA_TIMESTAMP_CA    CA certificates of the time-stamp server (for the check)
#   ORVANTA_SIGN_URL    the signer's web page, shown with the signature (optional)
# The registry rows of the packages are recorded by running the module's own
# registration under Wine, in a prefix of its own (build/wine/release-win64).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${ORVANTA_BUILD:-$root/build}

if ! command -v i686-w64-mingw32-g++ >/dev/null || ! command -v x86_64-w64-mingw32-g++ >/dev/null ||
   ! command -v wixl >/dev/null || ! command -v osslsigncode >/dev/null; then
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
    cmake --build "$build/$arch" -j 2 --target ORVANTA orvanta_regdump >/dev/null
done

stage="$build/release/$name"
symbols="$build/release/$name-symbols"
work="$build/release/work"
rm -rf "$stage" "$symbols" "$work" "$build/release/$name.zip" "$build/release/$name-symbols.zip"
mkdir -p "$stage" "$symbols" "$work"

signing=0
if [ -n "${ORVANTA_SIGN_CERT:-}" ]; then
    signing=1
    command -v osslsigncode >/dev/null || { echo "release: osslsigncode is missing (scripts/bootstrap.sh installs it)" >&2; exit 1; }
    sign_args=(-h sha256 -n "Orvanta Control")
    # The signature's "more information" link: only a real page, when given.
    [ -z "${ORVANTA_SIGN_URL:-}" ] || sign_args+=(-i "$ORVANTA_SIGN_URL")
    case "$ORVANTA_SIGN_CERT" in
        *.pfx|*.p12) sign_args+=(-pkcs12 "$ORVANTA_SIGN_CERT") ;;
        *) sign_args+=(-certs "$ORVANTA_SIGN_CERT" -key "${ORVANTA_SIGN_KEY:?ORVANTA_SIGN_KEY must name the key of the certificate}") ;;
    esac
    [ -z "${ORVANTA_SIGN_PASS_FILE:-}" ] || sign_args+=(-readpass "$ORVANTA_SIGN_PASS_FILE")
    [ -z "${ORVANTA_TIMESTAMP_URL:-}" ] || sign_args+=(-ts "$ORVANTA_TIMESTAMP_URL")
    verify_args=(-CAfile "${ORVANTA_SIGN_CA:-/etc/ssl/certs/ca-certificates.crt}")
    [ -z "${ORVANTA_TIMESTAMP_CA:-}" ] || verify_args+=(-TSA-CAfile "$ORVANTA_TIMESTAMP_CA")
fi

# Signs FILE in place and checks the signature; says what it did.
sign() {
    local file=$1 out
    [ "$signing" -eq 1 ] || return 0
    out="$file.signed"
    rm -f "$out"
    osslsigncode sign "${sign_args[@]}" -in "$file" -out "$out" >"$work/sign.log" 2>&1 ||
        { cat "$work/sign.log" >&2; echo "release: signing $file failed" >&2; exit 1; }
    mv "$out" "$file"
    osslsigncode verify "${verify_args[@]}" -in "$file" >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log" >&2; echo "release: the signature of $file does not verify" >&2; exit 1; }
    echo "release: signed and verified ${file#"$build/release/"}"
}

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

# The shipped OCX is stripped; its debug symbols go beside the release, and
# the OCX names them (.gnu_debuglink) for a debugger reading a crash dump.
for pair in "x86 i686 32" "x64 x86_64 64"; do
    read -r folder arch bits <<<"$pair"
    mkdir -p "$stage/$folder" "$symbols/$folder"
    ocx="$stage/$folder/ORVANTA.OCX"
    "$arch-w64-mingw32-objcopy" --only-keep-debug "$build/$arch/ORVANTA.OCX" "$symbols/$folder/ORVANTA.OCX.debug"
    "$arch-w64-mingw32-strip" --strip-all -o "$ocx" "$build/$arch/ORVANTA.OCX"
    (cd "$symbols/$folder" && "$arch-w64-mingw32-objcopy" --add-gnu-debuglink=ORVANTA.OCX.debug "$ocx")
    if "$arch-w64-mingw32-objdump" -h "$ocx" | grep -q '\.debug_' ||
       ! "$arch-w64-mingw32-objdump" -h "$symbols/$folder/ORVANTA.OCX.debug" | grep -q '\.debug_info'; then
        echo "release: $folder/ORVANTA.OCX is not stripped, or its symbols file holds no symbols" >&2
        exit 1
    fi
    echo "release: $folder/ORVANTA.OCX stripped ($(stat -c %s "$ocx") bytes), symbols in ${symbols##*/}/$folder/ORVANTA.OCX.debug"
    sign "$ocx"
    cp "$build/$arch/ORVANTA.manifest" "$stage/$folder/"
    write_scripts "$stage/$folder" "$bits"
done

# The installer packages, from what the shipped module's registration writes.
bash scripts/msi/build.sh "$stage" "$work" "$name"
for folder in x86 x64; do
    sign "$stage/$name-$folder.msi"
done
[ "$signing" -eq 1 ] || echo "release: unsigned (no code-signing certificate given: set ORVANTA_SIGN_CERT to sign)"

# Samples: the files a Windows IDE or editor opens get CRLF line ends.
cp -r samples "$stage/samples"
find "$stage/samples" -type f \( -name '*.frm' -o -name '*.vbp' -o -name '*.bas' -o -name '*.cls' \
    -o -name '*.pas' -o -name '*.dpr' -o -name '*.dfm' -o -name '*.cs' -o -name '*.vbs' -o -name '*.js' \
    -o -name '*.hta' -o -name '*.md' -o -name '*.txt' \) -exec env LC_ALL=C sed -i 's/\r*$/\r/' {} +
mkdir -p "$stage/docs"
cp docs/reference.md docs/install.md "$stage/docs/"
# For Windows users: what the zip holds, the licence, the notices of what is
# linked into the OCX, the change history; the read-me says whether the
# files are signed.
if [ "$signing" -eq 1 ]; then
    signature="The OCX files and the packages are signed (Authenticode): File Properties > Digital Signatures shows the signer."
else
    signature="THIS RELEASE IS NOT SIGNED: Windows SmartScreen and Office may warn about the files, and File Properties shows no Digital Signatures tab. Check the files against SHA256SUMS (certutil -hashfile FILE SHA256) with sums you got from the maker."
fi
sed -e "s|@VERSION@|$version|g" -e "s|@SIGNATURE@|$signature|" docs/windows-readme.txt | fold -s -w 76 | sed 's/ *$//' >"$stage/README.txt"
cp LICENSE.txt THIRD-PARTY-NOTICES.txt CHANGES.md "$stage/"
find "$stage" -maxdepth 2 -type f \( -name '*.txt' -o -name '*.md' \) -exec env LC_ALL=C sed -i 's/\r*$/\r/' {} +
(cd "$stage" && find . -type f -printf '%P\n' | sort | xargs sha256sum >"$build/release/SHA256SUMS" &&
    mv "$build/release/SHA256SUMS" SHA256SUMS)

python3 - "$build/release" "$name" "$name-symbols" <<'PY'
import os, sys, zipfile
base = sys.argv[1]
for name in sys.argv[2:]:
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
(cd "$build/release" && sha256sum "$name.zip" "$name-symbols.zip" >SHA256SUMS)
echo "release: $build/release/SHA256SUMS"

#!/usr/bin/env bash
# The release as scripts/release.sh makes it, signed with a throwaway
# code-signing certificate made here: the zip holds both builds and both
# installer packages signed (checked again from the zip), the builds
# stripped with their symbols beside them, the sums match, and the samples a
# Windows IDE opens have CRLF line ends. The packages themselves are
# installed by tests/wine/run.sh. Prints "release: N passed, N failed" last.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVANTA_BUILD:-$root/build}
t="$build/release-test"
rm -rf "$t" && mkdir -p "$t/unzipped"
passed=0
failed=0

check() {  # WHAT COMMAND...: passes when the command does
    local what=$1
    shift
    if "$@" >"$t/check.log" 2>&1; then
        echo "[       OK ] $what"
        passed=$((passed + 1))
    else
        echo "[  FAILED  ] $what:" >&2
        sed 's/^/    /' "$t/check.log" >&2
        failed=$((failed + 1))
    fi
}

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$t/key.pem" -out "$t/cert.pem" -days 2 \
    -subj "/CN=Orvanta throwaway test signer" -addext "extendedKeyUsage=codeSigning" >"$t/openssl.log" 2>&1
check "release.sh builds the release, signed" env ORVANTA_SIGN_CERT="$t/cert.pem" ORVANTA_SIGN_KEY="$t/key.pem" \
    ORVANTA_SIGN_CA="$t/cert.pem" ORVANTA_BUILD="$build" bash "$root/scripts/release.sh"
cp "$t/check.log" "$t/release.log"
grep -E '^(release|msi):' "$t/release.log"
zip=$(ls "$build"/release/orvanta-*[0-9].zip 2>/dev/null | tail -n 1)
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$t/unzipped" || true
stage=$(ls -d "$t"/unzipped/orvanta-* 2>/dev/null | head -n 1)

verify_all() {
    local f n=0
    for f in "$stage"/x86/ORVANTA.OCX "$stage"/x64/ORVANTA.OCX "$stage"/*.msi; do
        [ -f "$f" ] || continue
        osslsigncode verify -CAfile "$t/cert.pem" -in "$f" >/dev/null || { echo "$f does not verify"; return 1; }
        n=$((n + 1))
    done
    [ "$n" -eq 4 ] || { echo "$n signed files, not 4"; return 1; }
}
check "both builds and both packages in the zip are signed" verify_all

stripped() {  # FOLDER ARCH: no debug sections shipped; the symbols file has them and is named
    local ocx="$stage/$1/ORVANTA.OCX" debug="$build/release/${stage##*/}-symbols/$1/ORVANTA.OCX.debug"
    ! "$2-w64-mingw32-objdump" -h "$ocx" | grep -q '\.debug_' &&
        "$2-w64-mingw32-objdump" -h "$debug" | grep -q '\.debug_info' &&
        "$2-w64-mingw32-objdump" -s -j .gnu_debuglink "$ocx" | grep -q 'ORVANTA.OCX.debu'
}
check "the x86 build ships stripped, its symbols beside it" stripped x86 i686
check "the x64 build ships stripped, its symbols beside it" stripped x64 x86_64
check "the sums match what ships" bash -c 'cd "$1" && sha256sum -c --quiet SHA256SUMS && cd "$2" && sha256sum -c --quiet SHA256SUMS' \
    _ "$stage" "$build/release"
check "the samples a Windows IDE opens have CRLF line ends" bash -c \
    '! grep -rlP "(?<!\r)$" --include="*.frm" --include="*.vbp" --include="*.bas" --include="*.cls" \
        --include="*.dpr" --include="*.pas" --include="*.dfm" "$1/samples"' _ "$stage"
echo "release: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# The release as scripts/release.sh makes it, signed with a throwaway
# code-signing certificate made here: both builds and both installer packages
# in the zip carry a signature that verifies, and the sums match. The
# packages are installed by tests/wine/run.sh. Ends "release: N passed, N failed".
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ORVANTA_BUILD:-$root/build}
t="$build/release-test"
rm -rf "$t" && mkdir -p "$t/unzipped"
passed=0 failed=0
check() {  # WHAT COMMAND...: passes when the command does
    if "${@:2}" >"$t/check.log" 2>&1; then echo "[       OK ] $1"; passed=$((passed + 1))
    else echo "[  FAILED  ] $1:" >&2; sed 's/^/    /' "$t/check.log" >&2; failed=$((failed + 1)); fi
}
signed_and_summed() {
    local f n=0 zip stage
    zip=$(ls "$build"/release/orvanta-*[0-9].zip) && python3 -m zipfile -e "$zip" "$t/unzipped" &&
        stage=$(ls -d "$t"/unzipped/orvanta-*) || return 1
    for f in "$stage"/x86/ORVANTA.OCX "$stage"/x64/ORVANTA.OCX "$stage"/*.msi; do
        osslsigncode verify -CAfile "$t/cert.pem" -in "$f" >/dev/null && n=$((n + 1)) || echo "$f: not signed"
    done
    [ "$n" -eq 4 ] && (cd "$stage" && sha256sum -c --quiet SHA256SUMS) && (cd "$build/release" && sha256sum -c --quiet SHA256SUMS)
}
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$t/key.pem" -out "$t/cert.pem" -days 2 \
    -subj "/CN=Orvanta throwaway test signer" -addext "extendedKeyUsage=codeSigning" >"$t/openssl.log" 2>&1
check "release.sh builds the release, signed" env ORVANTA_SIGN_CERT="$t/cert.pem" ORVANTA_SIGN_KEY="$t/key.pem" \
    ORVANTA_SIGN_CA="$t/cert.pem" ORVANTA_BUILD="$build" bash "$root/scripts/release.sh"
grep -E '^(release|msi):' "$t/check.log"
check "both builds and both packages in the zip are signed, the sums match" signed_and_summed
echo "release: $passed passed, $failed failed"
[ "$failed" -eq 0 ]

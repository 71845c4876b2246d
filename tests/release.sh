#!/usr/bin/env bash
# The release as scripts/release.sh makes it, signed with a throwaway
# code-signing certificate made here: both builds and both installer packages
# in the zip carry a signature that verifies, and the sums match; the zip
# holds what a Windows user and an administrator need and names one maker;
# the two packages share the keys both builds share. The packages are
# installed by tests/wine/run.sh. Ends "release: N passed, N failed".
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
# The read-me, licence, notices and change history, with CRLF; the read-me
# says the files are signed; the maker of the version resource is the one of
# the OCX, the packages and the read-me.
contents() {
    local stage f maker
    stage=$(ls -d "$t"/unzipped/orvanta-*) || return 1
    for f in README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt CHANGES.md docs/install.md docs/reference.md; do
        [ -s "$stage/$f" ] || { echo "$f missing"; return 1; }
    done
    [ "$(grep -c $'\r$' "$stage/README.txt")" -eq "$(wc -l <"$stage/README.txt")" ] || { echo "README.txt: LF line ends"; return 1; }
    grep -q "are signed (Authenticode)" "$stage/README.txt" || { echo "README.txt does not say the release is signed"; return 1; }
    maker=$(sed -n 's/^#define ORVANTA_MAKER "\(.*\)"$/\1/p' "$root/resources/version.h")
    for f in x86/ORVANTA.OCX x64/ORVANTA.OCX; do
        python3 -c 'import sys; d=open(sys.argv[1],"rb").read(); sys.exit(d.count(sys.argv[2].encode("utf-16-le")) < 3)' \
            "$stage/$f" "$maker" || { echo "$f: the version resource, About box and page do not all name $maker"; return 1; }
    done
    for f in "$stage"/*.msi "$stage/README.txt" "$stage/LICENSE.txt"; do
        LC_ALL=C grep -qaF "$maker" "$f" || { echo "${f##*/} does not name $maker"; return 1; }
    done
}
# Windows Installer counts a component's clients by its GUID: the rows of keys
# both builds share are one component, alike in both packages, and in no
# build's own component.
shared_rows() {
    python3 - "$build"/release/work/orvanta-*-x86.wxs "$build"/release/work/orvanta-*-x64.wxs <<'PY'
import re, sys
def components(path):
    text = open(path, encoding="utf-8").read()
    return {m[0]: (m[1], sorted(re.findall(r"<RegistryValue [^>]*/>", m[2])))
            for m in re.findall(r'<Component Id="(\w+)" Guid="([^"]+)"[^>]*>(.*?)</Component>', text, re.S)}
x86, x64 = map(components, sys.argv[1:3])
faults = [f"{c}: not alike in both packages" for c in ("TypeLibShared", "ProgIdShared") if c not in x86 or x86.get(c) != x64.get(c)]
faults += [f"the {a} package's own component holds {r}" for a, c in (("x86", x86), ("x64", x64))
           for r in c["Control"][1] if 'Key="ORVANTA.' in r or re.search(r'Key="TypeLib\\[^"]*\\1\.0"', r)]
print("\n".join(faults))
sys.exit(bool(faults))
PY
}
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$t/key.pem" -out "$t/cert.pem" -days 2 \
    -subj "/CN=Orvanta throwaway test signer" -addext "extendedKeyUsage=codeSigning" >"$t/openssl.log" 2>&1
check "release.sh builds the release, signed" env ORVANTA_SIGN_CERT="$t/cert.pem" ORVANTA_SIGN_KEY="$t/key.pem" \
    ORVANTA_SIGN_CA="$t/cert.pem" ORVANTA_BUILD="$build" bash "$root/scripts/release.sh"
grep -E '^(release|msi):' "$t/check.log"
check "both builds and both packages in the zip are signed, the sums match" signed_and_summed
check "the zip holds the read-me, licence, notices and change history, and names one maker" contents
check "both packages hold the shared keys' rows in the same components" shared_rows
echo "release: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
